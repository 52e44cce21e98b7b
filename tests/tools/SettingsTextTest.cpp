#include <gtest/gtest.h>

#include "pack/lib/SettingsText.h"
#include "support/TestFiles.h"

namespace qf::pack {
namespace {

using test::Bytes;

Bytes Ascii(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Converted(const Bytes& source) {
  const DecodedSettings decoded = DecodeSettingsSource(source);
  EXPECT_EQ(decoded.error, "");
  return EncodeSettings(decoded.text);
}

Bytes WithMark(Bytes bytes, std::initializer_list<unsigned char> mark) {
  bytes.insert(bytes.begin(), mark);
  return bytes;
}

Bytes Utf16Be(std::u16string_view text) {
  Bytes le = test::Utf16Le(text);
  for (std::size_t i = 0; i < le.size(); i += 2) std::swap(le[i], le[i + 1]);
  return le;
}

TEST(SettingsText, EveryEncodingAndLineEndingGivesTheSameBytes) {
  const Bytes expected = test::Utf16Le(u"\uFEFF[message]\r\nfail=a~~b\r\n\r\n[x]\r\n");
  const std::u16string crlf = u"[message]\r\nfail=a~~b\r\n\r\n[x]\r\n";
  const std::vector<std::pair<const char*, Bytes>> sources = {
      {"UTF-8, CR LF", Ascii("[message]\r\nfail=a~~b\r\n\r\n[x]\r\n")},
      {"UTF-8 with its mark", WithMark(Ascii("[message]\nfail=a~~b\n\n[x]\n"), {0xEF, 0xBB, 0xBF})},
      {"UTF-8, CR alone", Ascii("[message]\rfail=a~~b\r\r[x]\r")},
      {"UTF-8, mixed endings", Ascii("[message]\r\nfail=a~~b\n\r[x]\r\n")},
      {"UTF-8, last line without an ending", Ascii("[message]\nfail=a~~b\n\n[x]")},
      {"UTF-16LE with its mark, LF", WithMark(test::Utf16Le(u"[message]\nfail=a~~b\n\n[x]\n"), {0xFF, 0xFE})},
      {"UTF-16LE with its mark, CR LF", WithMark(test::Utf16Le(crlf), {0xFF, 0xFE})},
      {"UTF-16BE with its mark", WithMark(Utf16Be(u"[message]\nfail=a~~b\n\n[x]"), {0xFE, 0xFF})},
  };
  for (const auto& [what, source] : sources) EXPECT_EQ(Converted(source), expected) << what;
  EXPECT_EQ(Converted({}), (Bytes{0xFF, 0xFE}));  // an empty file is the mark alone
}

TEST(SettingsText, KeepsCharactersBeyondAscii) {
  // "Prüfung ✓ 😀": two-, three- and four-byte UTF-8, the last a surrogate pair.
  const Bytes source = Ascii(
      "fail=Pr\xC3\xBC"
      "fung \xE2\x9C\x93 \xF0\x9F\x98\x80\n");
  EXPECT_EQ(Converted(source), test::Utf16Le(u"\uFEFFfail=Pr\u00FCfung \u2713 \U0001F600\r\n"));
}

TEST(SettingsText, RefusesWhatIsNoTextItCanRead) {
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {Ascii("cpu=\xC3("), "neither UTF-8 nor UTF-16"},
      {Ascii("cpu=\xED\xA0\x80"), "neither UTF-8 nor UTF-16"},  // an encoded surrogate
      {WithMark(Bytes{'a', 0, 'b'}, {0xFF, 0xFE}), "odd number of bytes"},
      {WithMark(test::Utf16Le(u"a\xD800"
                              u"b"),
                {0xFF, 0xFE}),
       "unpaired surrogate"},
      {test::Utf16Le(u"[cpu]\r\n"), "zero character"},  // UTF-16 without its mark
      {WithMark(test::Utf16Le(u"\uFEFF[cpu]"), {0xFF, 0xFE}), "two byte-order marks"},
  };
  for (const auto& [source, reason] : cases) {
    const DecodedSettings decoded = DecodeSettingsSource(source);
    EXPECT_NE(decoded.error.find(reason), std::string::npos) << decoded.error;
    EXPECT_TRUE(decoded.text.empty());
  }
}

TEST(SettingsText, PackedSettingsNeedTheirMark) {
  EXPECT_EQ(DecodePackedSettings(test::Utf16Le(u"\uFEFFa=b\r\n")), u"a=b\r\n");
  EXPECT_EQ(DecodePackedSettings(test::Utf16Le(u"a=b\r\n")), std::nullopt);
  EXPECT_EQ(DecodePackedSettings(Bytes{0xFE, 0xFF, 'a', 0}), std::nullopt);
  Bytes odd = test::Utf16Le(u"\uFEFFab");
  odd.push_back('c');
  EXPECT_EQ(DecodePackedSettings(odd), u"ab");
}

}  // namespace
}  // namespace qf::pack
