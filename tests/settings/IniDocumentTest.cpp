#include <gtest/gtest.h>

#include "settings/IniDocument.h"
#include "settings/TextWidth.h"
#include "support/TestFiles.h"

namespace qf::settings {
namespace {

using test::Bytes;

Bytes WithMark(std::u16string_view text) {
  Bytes bytes{0xFF, 0xFE};
  const Bytes body = test::Utf16Le(text);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

IniDocument Parse(std::u16string_view text) { return IniDocument::FromBytes(WithMark(text)); }

std::vector<std::u16string> SectionNames(const IniDocument& document) {
  std::vector<std::u16string> names;
  for (const IniSection& s : document.Sections()) names.push_back(s.name);
  return names;
}

// The value, or the code as text when the lookup fails.
std::u16string Value(const IniDocument& document, std::u16string_view section, std::u16string_view key) {
  std::u16string out;
  const int32_t result = document.GetValue(section, key, out);
  if (result == kIniFound) return out;
  return result == kIniNoSection ? u"<103>" : u"<104>";
}

TEST(IniDocument, FileWithOnlyTheMarkHasNoSections) {
  const IniDocument document = IniDocument::FromBytes(Bytes{0xFF, 0xFE});
  EXPECT_EQ(document.ParseResult(), kIniFound);
  EXPECT_TRUE(document.Sections().empty());
  std::u16string out;
  EXPECT_EQ(document.GetValue(u"validate", u"cpu", out), kIniNoSection);
}

TEST(IniDocument, SectionAndKeyCompareCaseSensitively) {
  const IniDocument document = Parse(u"[validate]\r\ncpu=1\r\n");
  std::u16string out;
  EXPECT_EQ(document.GetValue(u"validate", u"cpu", out), kIniFound);
  EXPECT_EQ(out, u"1");
  EXPECT_EQ(document.GetValue(u"Validate", u"cpu", out), kIniNoSection);
  EXPECT_EQ(document.GetValue(u"validate", u"CPU", out), kIniNoKey);
}

TEST(IniDocument, FailedLookupLeavesTheOutputUntouched) {
  const IniDocument document = Parse(u"[a]\r\nk=v\r\n");
  std::u16string out = u"keep";
  EXPECT_EQ(document.GetValue(u"b", u"k", out), kIniNoSection);
  EXPECT_EQ(out, u"keep");
  EXPECT_EQ(document.GetValue(u"a", u"x", out), kIniNoKey);
  EXPECT_EQ(out, u"keep");
  EXPECT_EQ(document.GetValue(u"a", u"k", out), kIniFound);
  EXPECT_EQ(out, u"v");
}

TEST(IniDocument, SplitsAtTheFirstEqualsAfterLeadingOnes) {
  const IniDocument document =
      Parse(u"[s]\r\nparam=-s\r\nfail=a=b\r\nAdvanced=\r\n=value\r\n==x=y\r\nbare\r\n = \r\n====\r\n");
  EXPECT_EQ(Value(document, u"s", u"param"), u"-s");
  EXPECT_EQ(Value(document, u"s", u"fail"), u"a=b");
  EXPECT_EQ(Value(document, u"s", u"Advanced"), u"");
  EXPECT_EQ(Value(document, u"s", u"value"), u"");
  EXPECT_EQ(Value(document, u"s", u"x"), u"y");
  EXPECT_EQ(Value(document, u"s", u"bare"), u"");
  EXPECT_EQ(Value(document, u"s", u" "), u" ");  // blanks are never trimmed
  const auto& entries = document.Sections().at(0).entries;
  ASSERT_EQ(entries.size(), 8u);
  EXPECT_EQ(entries[7].key, u"");  // only "=" units: empty key and value
  EXPECT_EQ(entries[7].value, u"");
}

TEST(IniDocument, TabsAndStrayLineEndsAreRemovedWherever) {
  const IniDocument document = Parse(u"[bios]\r\nManu\tfacturer=x\ty\r\na=1\rb=2\r\n\tc\t=\t3\r\n");
  EXPECT_EQ(Value(document, u"bios", u"Manufacturer"), u"xy");
  EXPECT_EQ(Value(document, u"bios", u"a"), u"1b=2");
  EXPECT_EQ(Value(document, u"bios", u"c"), u"3");
}

TEST(IniDocument, DuplicateSectionsResolveToTheFirstHoldingTheKey) {
  const IniDocument document = Parse(u"[cpu]\r\nProcessor=First\r\n[cpu]\r\nProcessor=Second\r\nAdvanced=6\r\n");
  EXPECT_EQ(Value(document, u"cpu", u"Processor"), u"First");
  EXPECT_EQ(Value(document, u"cpu", u"Advanced"), u"6");
  const IniDocument sameKeyTwice = Parse(u"[cpu]\r\nk=1\r\nk=2\r\n");
  EXPECT_EQ(Value(sameKeyTwice, u"cpu", u"k"), u"1");
}

TEST(IniDocument, LinesBeforeTheFirstHeaderAndBlankLinesHaveNoEffect) {
  const IniDocument document = Parse(u"k=outside\r\n\r\nnoise\r\n[a]\r\n\r\nk=1\r\n\r\n\r\n[b]\r\n\r\n");
  EXPECT_EQ(SectionNames(document), (std::vector<std::u16string>{u"a", u"b"}));
  EXPECT_EQ(document.Sections()[0].entries.size(), 1u);
  EXPECT_TRUE(document.Sections()[1].entries.empty());
  EXPECT_EQ(Value(document, u"a", u"k"), u"1");
  // Where each stood, counted from 1, for the tools; a header read again keeps its line.
  const auto& sections = document.Sections();
  EXPECT_EQ((std::vector<int>{sections[0].line, sections[0].entries[0].line, sections[1].line}),
            (std::vector<int>{4, 6, 9}));
}

TEST(IniDocument, LastLineWithoutLineEndIsStillAnEntry) {
  EXPECT_EQ(Value(Parse(u"[message]\r\nfail=Tavix only"), u"message", u"fail"), u"Tavix only");
}

TEST(IniDocument, HeaderWithLineEndAsLastLineGivesAnEmptySection) {
  const IniDocument document = Parse(u"[a]\r\nk=v\r\n[last]\r\n");
  EXPECT_EQ(SectionNames(document), (std::vector<std::u16string>{u"a", u"last"}));
  EXPECT_TRUE(document.Sections()[1].entries.empty());
  EXPECT_EQ(Value(document, u"last", u"k"), u"<104>");
}

TEST(IniDocument, HeaderNamesLoseExactlyThreeTrailingUnits) {
  EXPECT_EQ(SectionNames(Parse(u"[cpu]\nProcessor=x\r\n")), (std::vector<std::u16string>{u"cp"}));
  EXPECT_EQ(Value(Parse(u"[cpu]\nProcessor=x\r\n"), u"cp", u"Processor"), u"x");
  EXPECT_EQ(SectionNames(Parse(u"[cpu] \r\nk=v\r\n")), (std::vector<std::u16string>{u"cpu]"}));
  EXPECT_EQ(SectionNames(Parse(u"[]\r\nk=v\r\n")), (std::vector<std::u16string>{u""}));
  EXPECT_EQ(SectionNames(Parse(u"[a]\r\n")), (std::vector<std::u16string>{u"a"}));
  EXPECT_EQ(SectionNames(Parse(u"[ab]")), (std::vector<std::u16string>{u""}));  // under five units
}

TEST(IniDocument, HeaderEndingTheFileWithoutLineEnd) {
  // As the first header it still opens a section, named by what is left.
  EXPECT_EQ(SectionNames(Parse(u"junk\r\n[cpu]")), (std::vector<std::u16string>{u"c"}));
  // After a section it is dropped: the end of the file was hit, so it is not read again.
  const IniDocument dropped = Parse(u"[a]\r\nk=v\r\n[cpu]");
  EXPECT_EQ(SectionNames(dropped), (std::vector<std::u16string>{u"a"}));
  EXPECT_EQ(Value(dropped, u"a", u"k"), u"v");
}

TEST(IniDocument, MissingMarkLeavesTheDocumentEmpty) {
  const Bytes noMark = test::Utf16Le(u"[validate]\r\ncpu=1\r\n");
  const Bytes bigEndian = [] {
    Bytes b{0xFE, 0xFF};
    for (char16_t c : std::u16string_view(u"[validate]\r\ncpu=1\r\n")) {
      b.push_back(static_cast<unsigned char>(c >> 8));
      b.push_back(static_cast<unsigned char>(c & 0xFF));
    }
    return b;
  }();
  Bytes utf8{0xEF, 0xBB, 0xBF};
  for (char c : std::string_view("[validate]\r\ncpu=1\r\n")) utf8.push_back(static_cast<unsigned char>(c));
  for (const Bytes& bytes : {noMark, bigEndian, utf8, Bytes{}, Bytes{0xFF}}) {
    const IniDocument document = IniDocument::FromBytes(bytes);
    EXPECT_EQ(document.ParseResult(), kIniMissingMark);
    EXPECT_TRUE(document.Sections().empty());
    EXPECT_EQ(Value(document, u"validate", u"cpu"), u"<103>");
  }
}

TEST(IniDocument, LongLinesAreReadInPiecesOf1023Units) {
  // A 1500-unit line: the first piece holds 1023 units, the rest is a line of its own.
  const std::u16string line = u"a=" + std::u16string(1496, u'x') + u"\r\n";
  ASSERT_EQ(line.size(), 1500u);
  const IniDocument document = Parse(u"[s]\r\n" + line + u"b=2\r\n");
  const auto& entries = document.Sections().at(0).entries;
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].key, u"a");
  EXPECT_EQ(entries[0].value, std::u16string(255, u'x'));  // 1021 units, cut at the width
  EXPECT_EQ(entries[1].key, std::u16string(255, u'x'));    // the last 475 x of the line
  EXPECT_EQ(entries[1].value, u"");
  EXPECT_EQ(Value(document, u"s", u"b"), u"2");
}

TEST(IniDocument, PieceOfALongLineThatBeginsWithABracketOpensASection) {
  const std::u16string line = u"k=" + std::u16string(1021, u'v') + u"[next]\r\n";
  const IniDocument document = Parse(u"[s]\r\n" + line + u"n=1\r\n");
  EXPECT_EQ(SectionNames(document), (std::vector<std::u16string>{u"s", u"next"}));
  EXPECT_EQ(Value(document, u"next", u"n"), u"1");
}

TEST(IniDocument, FullPieceAtTheEndOfTheFileDoesNotHitTheEnd) {
  // 1023 units end the file without LF: the read stops at its limit before
  // the end is seen, so the header is read again and opens a section.
  const std::u16string header = u"[" + std::u16string(1022, u'b');
  const IniDocument full = Parse(u"[a]\r\nk=v\r\n" + header);
  ASSERT_EQ(SectionNames(full).size(), 2u);
  EXPECT_EQ(full.Sections()[1].name, std::u16string(255, u'b'));
  // One unit less, and the end is hit: dropped.
  const IniDocument shorter = Parse(u"[a]\r\nk=v\r\n" + header.substr(0, 1022));
  EXPECT_EQ(SectionNames(shorter).size(), 1u);
}

TEST(IniDocument, TextsBeyond255UnitsAreCutAtTheWidth) {
  const std::u16string longKey(300, u'k');
  const std::u16string longValue(300, u'v');
  const std::u16string longName(300, u'n');
  const IniDocument document = Parse(u"[" + longName + u"]\r\n" + longKey + u"=" + longValue + u"\r\n");
  const std::u16string cutName(255, u'n');
  const std::u16string cutKey(255, u'k');
  EXPECT_EQ(SectionNames(document), (std::vector<std::u16string>{cutName}));
  EXPECT_EQ(Value(document, cutName, cutKey), std::u16string(255, u'v'));
  EXPECT_EQ(Value(document, cutName, longKey), u"<104>");
  // A surrogate pair that would straddle the width is dropped whole.
  const std::u16string straddling = std::u16string(254, u'x') + u"\U0001F600";
  EXPECT_EQ(Value(Parse(u"[s]\r\nk=" + straddling + u"\r\n"), u"s", u"k"), std::u16string(254, u'x'));
  const std::u16string fitting = std::u16string(253, u'x') + u"\U0001F600";
  EXPECT_EQ(Value(Parse(u"[s]\r\nk=" + fitting + u"\r\n"), u"s", u"k"), fitting);
}

TEST(CutToWidth, KeepsShortTextsAndNeverSplitsAPair) {
  EXPECT_EQ(CutToWidth(u"abc", 3), u"abc");
  EXPECT_EQ(CutToWidth(u"abcd", 3), u"abc");
  EXPECT_EQ(CutToWidth(u"ab\U0001F600", 3), u"ab");
  EXPECT_EQ(CutToWidth(u"ab\U0001F600", 4), u"ab\U0001F600");
  EXPECT_EQ(CutToWidth(u"abc", 0), u"");
}

TEST(IniDocument, NulUnitEndsTheTextItStandsIn) {
  const IniDocument document = Parse(std::u16string(u"[s]\r\nk=ab\0cd\r\nx\0=y\r\n", 20));
  EXPECT_EQ(Value(document, u"s", u"k"), u"ab");
  EXPECT_EQ(Value(document, u"s", u"x"), u"");
}

TEST(IniDocument, OddLastByteIsNoUnit) {
  Bytes bytes = WithMark(u"[s]\r\nk=v");
  bytes.push_back(0x41);
  EXPECT_EQ(Value(IniDocument::FromBytes(bytes), u"s", u"k"), u"v");
}

TEST(IniDocument, ModeIsStoredAs100Unless101) {
  EXPECT_EQ(IniDocument(u"", 100).Mode(), 100);
  EXPECT_EQ(IniDocument(u"", 101).Mode(), 101);
  EXPECT_EQ(IniDocument(u"", 7).Mode(), 100);
}

TEST(IniDocument, ReadsAFileAndCopiesItsPath) {
  test::TempDir dir;
  test::WriteBytes(dir / "s.ini", WithMark(u"[validate]\r\ncpu=1\r\n"));
  const std::u16string path = dir.core() + u"\\s.ini";
  const IniDocument document(path, IniDocument::kModeStandard);
  EXPECT_TRUE(document.Opened());
  EXPECT_EQ(document.Path(), path);
  EXPECT_EQ(Value(document, u"validate", u"cpu"), u"1");
}

TEST(IniDocument, FileThatCannotBeOpenedGivesAnEmptyDocument) {
  test::TempDir dir;
  const IniDocument missing(dir.core() + u"\\absent.ini", IniDocument::kModeStandard);
  EXPECT_FALSE(missing.Opened());
  EXPECT_EQ(Value(missing, u"validate", u"cpu"), u"<103>");
  // A path of 260 units is refused rather than cut to another file's name.
  const std::u16string tooLong = dir.core() + u"\\" + std::u16string(259 - dir.core().size(), u'f');
  ASSERT_EQ(tooLong.size(), 260u);
  EXPECT_FALSE(IniDocument(tooLong, IniDocument::kModeStandard).Opened());
}

TEST(IniDocument, LargeFileIsReadWhole) {
  std::u16string text = u"[a]\r\n";
  for (int i = 0; i < 20000; ++i) text += u"key" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u"=1\r\n";
  text += u"[b]\r\nlast=yes\r\n";
  test::TempDir dir;
  test::WriteBytes(dir / "big.ini", WithMark(text));
  const IniDocument document(dir.core() + u"\\big.ini", IniDocument::kModeStandard);
  EXPECT_EQ(Value(document, u"b", u"last"), u"yes");
  EXPECT_EQ(document.Sections().at(0).entries.size(), 20000u);
}

}  // namespace
}  // namespace qf::settings
