#include <gtest/gtest.h>

#include <array>

#include "settings/SettingsFile.h"
#include "support/TestFiles.h"

namespace qf::settings {
namespace {

using test::Bytes;

Bytes WithMark(std::u16string_view text) { return test::Utf16Le(u"\uFEFF" + std::u16string(text)); }

// The document as "[section]|key=value|...", or "<107>" without the byte-order mark.
std::u16string Dump(const IniDocument& document) {
  std::u16string dump = document.ParseResult() == kIniMissingMark ? u"<107>" : u"";
  for (const IniSection& s : document.Sections()) {
    dump += (dump.empty() ? u"[" : u"|[") + s.name + u"]";
    for (const IniEntry& e : s.entries) dump += u"|" + e.key + u"=" + e.value;
  }
  return dump;
}

// Lines are read in pieces of at most 1023 units; a header met among entries
// is read again as the next section's, unless it ended the file. Texts are cut
// at 255 units, never inside a surrogate pair, and at a NUL.
TEST(IniDocument, ReadsFilesOfEveryShape) {
  const std::u16string n(255, u'n'), k(255, u'k'), v(255, u'v'), x(253, u'x'), emoji = u"\U0001F600";
  Bytes oddByte = WithMark(u"[s]\r\nk=v");
  oddByte.push_back(0x41);
  const struct {
    Bytes file;
    std::u16string dump;
  } rows[] = {
      {WithMark(u"[validate]\r\ncpu=1\r\n"), u"[validate]|cpu=1"},
      {test::Utf16Le(u"[validate]\r\ncpu=1\r\n"), u"<107>"},
      {Bytes{0xEF, 0xBB, 0xBF, '[', 'v', ']', '\r', '\n', 'k', '=', '1'}, u"<107>"},
      {Bytes{}, u"<107>"},
      {Bytes{0xFF}, u"<107>"},
      {WithMark(u"[s]\r\nfail=a=b\r\nA=\r\n=value\r\n==x=y\r\nbare\r\n = \r\n"),
       u"[s]|fail=a=b|A=|value=|x=y|bare=| = "},
      {WithMark(u"[bios]\r\nManu\tfacturer=x\ty\r\na=1\rb=2\r\n\tc\t=\t3\r\n"), u"[bios]|Manufacturer=xy|a=1b=2|c=3"},
      {WithMark(u"k=outside\r\n\r\nnoise\r\n[a]\r\n\r\nk=1\r\n\r\n[b]\r\n"), u"[a]|k=1|[b]"},
      {WithMark(u"[message]\r\nfail=Tavix only"), u"[message]|fail=Tavix only"},
      {WithMark(u"[cpu]\nProcessor=x\r\n[cpu] \r\n[ab]\r\n[]\r\n"), u"[cp]|Processor=x|[cpu]]|[ab]|[]"},
      {WithMark(u"junk\r\n[cpu]"), u"[c]"},
      {WithMark(u"[a]\r\n[cpu]"), u"[a]"},
      {WithMark(u"[s]\r\nk=" + std::u16string(1021, u'v') + u"[next]\r\nn=1\r\n"), u"[s]|k=" + v + u"|[next]|n=1"},
      {WithMark(u"[a]\r\n[" + std::u16string(1022, u'b')), u"[a]|[" + std::u16string(255, u'b') + u"]"},
      {WithMark(u"[a]\r\n[" + std::u16string(1021, u'b')), u"[a]"},
      {WithMark(u"[" + n + u"nnnn]\r\n" + k + u"kk=" + v + u"v\r\n"), u"[" + n + u"]|" + k + u"=" + v},
      {WithMark(u"[s]\r\nk=" + x + u"x" + emoji + u"\r\nj=" + x + emoji), u"[s]|k=" + x + u"x|j=" + x + emoji},
      {WithMark(std::u16string(u"[s]\r\nk=ab\0cd\r\nx\0=y\r\n", 20)), u"[s]|k=ab|x="},
      {oddByte, u"[s]|k=v"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(Dump(IniDocument::FromBytes(row.file)), row.dump) << testing::PrintToString(row.file);
}

// Names compare exactly and the first match wins; a failed lookup leaves the
// output as it was, and an absent key of [executable] reads as empty.
TEST(SettingsFile, LookupsAreExactAndTheFirstMatchWins) {
  const SettingsFile settings{WithMark(u"[cpu]\r\nP=1\r\nP=2\r\n[cpu]\r\nP=3\r\nA=6\r\n[executable]\r\nfile=a\r\n")};
  std::u16string out, file, parameters = u"/old";
  const auto Lookup = [&](std::u16string_view section, std::u16string_view key) {
    const int32_t result = settings.Document().GetValue(section, key, out);
    return std::to_string(result) + " " + std::string(out.begin(), out.end());
  };
  EXPECT_EQ(Lookup(u"cpu", u"P"), "0 1");
  EXPECT_EQ(Lookup(u"cpu", u"A"), "0 6");
  EXPECT_EQ(Lookup(u"Cpu", u"P"), "103 6");
  EXPECT_EQ(Lookup(u"cpu", u"p"), "104 6");
  EXPECT_EQ(settings.GetExecutable(file, parameters), 1);
  EXPECT_EQ(file + u"|" + parameters, u"a|");
  // A silent run takes silentparam, or param while silentparam is empty.
  for (const auto& [keys, windowed, silent] :
       {std::array<std::u16string, 3>{u"param=-s\r\nsilentparam=/qn\r\n", u"-s", u"/qn"},
        {u"param=-s\r\nsilentparam=\r\n", u"-s", u"-s"},
        {u"silentparam=/qn\r\n", u"", u"/qn"}}) {
    const SettingsFile both{WithMark(u"[executable]\r\nfile=a\r\n" + keys)};
    both.GetExecutable(file, parameters);
    EXPECT_EQ(parameters, windowed);
    both.GetExecutable(file, parameters, true);
    EXPECT_EQ(parameters, silent);
  }
}

}  // namespace
}  // namespace qf::settings
