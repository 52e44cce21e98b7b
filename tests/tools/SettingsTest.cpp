// A settings file from its author to the stub: its encoding converted, and
// what the stub would read differently from what was meant, named.
#include <gtest/gtest.h>

#include "pack/lib/SettingsLint.h"
#include "pack/lib/SettingsText.h"
#include "support/TestFiles.h"

namespace qf::pack {
namespace {

using test::Bytes;

Bytes Ascii(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Whatever the author wrote, the stub gets UTF-16LE with its mark and CR LF; what is no text is refused.
TEST(SettingsText, EveryEncodingAndLineEndingGivesTheSameBytes) {
  const std::u16string text = u"[message]\r\nfail=a~~b\r\n\r\n[x]\r\n";
  struct Case {
    Bytes source;
    std::u16string text;
    std::string refused = {};  // empty: read as `text`
  };
  // clang-format off
  const std::vector<Case> cases = {
      {Ascii("[message]\r\nfail=a~~b\r\n\r\n[x]\r\n"), text}, {Ascii("\xEF\xBB\xBF[message]\nfail=a~~b\n\n[x]\n"), text}, {Ascii("[message]\rfail=a~~b\n\r[x]"), text},
      {test::Utf16Le(u"\uFEFF[message]\nfail=a~~b\n\n[x]\n"), text}, {Bytes{0xFE, 0xFF, 0, '[', 0, 'x', 0, ']'}, u"[x]\r\n"},
      {{}, u""}, {Ascii("fail=Pr\xC3\xBC" "fung \xE2\x9C\x93 \xF0\x9F\x98\x80\n"), u"fail=Pr\u00FCfung \u2713 \U0001F600\r\n"},
      {Ascii("cpu=\xC3("), u"", "neither UTF-8 nor UTF-16"}, {Ascii("cpu=\xED\xA0\x80"), u"", "neither UTF-8 nor UTF-16"},
      {Bytes{0xFF, 0xFE, 'a', 0, 'b'}, u"", "odd number of bytes"}, {test::Utf16Le(u"\uFEFFa\xD800" u"b"), u"", "unpaired surrogate"},
      {test::Utf16Le(u"[cpu]\r\n"), u"", "zero character"}, {test::Utf16Le(u"\uFEFF\uFEFF[cpu]"), u"", "two byte-order marks"},
  };
  // clang-format on
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const DecodedSettings decoded = DecodeSettingsSource(cases[i].source);
    EXPECT_EQ(decoded.error.empty(), cases[i].refused.empty())
        << testing::PrintToString(cases[i].text) << ": " << decoded.error;
    EXPECT_NE(decoded.error.find(cases[i].refused), std::string::npos)
        << testing::PrintToString(cases[i].text) << ": " << decoded.error;
    EXPECT_EQ(EncodeSettings(decoded.text), test::Utf16Le(u"\uFEFF" + cases[i].text))
        << testing::PrintToString(cases[i].text);
  }
}

std::string Lint(const std::u16string& text) {
  const std::vector<std::u16string> packaged = {u"setup.exe", u"sub\\tool.exe", u"$Settings.ini"};
  std::string all;
  const char* const risks[] = {": ", " odd: ", " any machine: ", " no machine: "};  // by LockRisk
  for (const Finding& f : LintSettings(text, packaged)) {
    all += std::to_string(f.line) + (f.error ? " error: " : risks[static_cast<int>(f.risk)]) + f.message + "\n";
  }
  return all;
}

TEST(SettingsLint, WarnsAboutEachLikelyMistakeOnItsLine) {
  // Settings that draw no warning, so that each case adds exactly one mistake.
  const std::u16string clean = u"[executable]\r\nfile=setup.exe\r\nparam=-s\r\n";
  const std::u16string fail = u"[message]\r\nfail=no\r\n";
  const std::u16string cpuOn = u"[validate]\r\ncpu=1\r\n" + fail + u"[cpu]\r\nProcessor=TavixSilicon\r\n";
  // clang-format off
  const std::vector<std::pair<std::u16string, std::string>> cases = {  // in front of the clean settings; the line, then the message
      // A lock other than it looks: names and switches the stub reads otherwise, no check, a check nothing passes.
      {u"[Validate]\r\ncpu=1\r\n", "1 odd: [Validate] is not a section the stub reads; did you mean [validate]?\n"},
      {u"[validate]\r\nCPU=1\r\n", "2 odd: `CPU` in [validate] is not a key the stub reads; did you mean `cpu`?\n"},
      {u"[validate]\r\nprocessor=1\r\n", "2 odd: `processor` in [validate] is not a key the stub reads\n"},
      {u"[validate]\r\nbios=yes\r\n", "2 odd: [validate] bios is \"yes\": only exactly \"1\""},
      {u"[validate]\r\nbaseboard=01\r\n", "2 odd: [validate] baseboard is \"01\""}, {u"[validate]\r\ncpu=On \r\n", "2 odd: [validate] cpu is \"On \""},
      {u"[validate]\r\ncpu=0\r\n", "0 any machine: No check is on: every machine is accepted\n"},
      {u"[validate]\r\ncpu=1\r\n" + fail + u"[cpu]\r\nProcessor=\r\n", "2 no machine: the processor check is on, but no machine passes it"},
      {cpuOn + u"Advanced=6;15\r\n[6]\r\nModel_Number=\r\n[15]\r\nModel_Number=;\r\n", "2 no machine: the processor check is on, but no machine passes it"},
      {u"[validate]\r\nbaseboard=1\r\n" + fail + u"[baseboard]\r\nManufacturer=;;\r\n", "2 no machine: the baseboard check is on, but no machine passes it"},
      // What does not touch the lock stays a warning.
      {u"[validate]\r\nbios=no\r\n", "2: [validate] bios is \"no\": only exactly \"1\""},
      {u"[message]\r\nFail=no\r\n", "2: `Fail` in [message] is not a key the stub reads; did you mean `fail`?\n"},
      {u"[executable]\r\nSilentParam=/q\r\n", "2: `SilentParam` in [executable] is not a key the stub reads; did you mean `silentparam`?\n"},
      {cpuOn + u"Advanced=25\r\n[25]\r\nModel_Number=1\r\n", "7: family 25 never matches: a family above 15 is 15 + 16 x the extended family (31, 47, ...); a family 25 as Linux shows it is 15 + 10, which the stub reads as 15 + 16 x 10 = 175\n"},
      {cpuOn + u"Advanced=6\r\n[6]\r\nModel_Number=8;158\r\n", "9: model 158 of [6] Model_Number never matches: the stub reads models 0 to 15\n"},
      {cpuOn + u"Advanced=06\r\n", "7: item \"06\" of [cpu] Advanced never matches"},
      {cpuOn + u"Advanced=6\r\n", "7: family \"6\" of [cpu] Advanced has no section [6]"},
      {cpuOn + u"Advanced=6; 15\r\n[6]\r\nModel_Number=8\r\n", "7: item \" 15\" of [cpu] Advanced has a blank"},
      {u"[cpu]\r\nProcessor=Tavix\r\n", "is not 12 characters long"},
      {u"[validate]\r\nbios=1\r\n" + fail, "2: the bios check is on but [bios] Manufacturer lists no maker: only machines that report none pass\n"},
      {u"[validate]\r\nbaseboard=1\r\n[baseboard]\r\nManufacturer=x\r\n", "0: [message] fail is empty or missing"},
      {u"[message]\r\nfail=" + std::u16string(256, u'x') + u"\r\n", "2: the value of [message] fail is 256 characters long; the stub reads only its first 255\n"},
      {u"[validate]\r\nbios=0\r\n[validate]\r\nbios=1\r\n", "4: [validate] bios appears again; the stub uses the first one, on line 2\n"},
      {u"[message]\r\nfail=" + std::u16string(1100, u'x') + u"\r\n", "2: the line is over 1023 characters long; the stub reads it as several lines\n"},
      // The program to start: Windows finds it whatever its case and separator; one missing refuses the build.
      {u"[executable]\r\nfile=setup2.exe\r\n", "2 error: [executable] file \"setup2.exe\" names no packaged file"},
      {u"[executable]\r\nfile=sub\\..\\setup.exe\r\n", "2 error: [executable] file \"sub\\..\\setup.exe\" names no packaged file"},
      {u"[message]\r\nfail=x\r\n[executable]\r\nfile=\r\n", "4 error: [executable] file is empty or missing: the installer could only show \"Invalid Installer\"\n"},
  };
  // clang-format on
  for (const auto& [text, finding] : cases) {
    const std::string found = Lint(text + clean);
    EXPECT_NE(found.find(finding), std::string::npos) << finding << "\n--- in ---\n" << found;
  }
  // A family nothing passes beside one that some processor passes (15 + 16 x 1) leaves the check passable.
  EXPECT_EQ(
      Lint(cpuOn + u"Advanced=6;31\r\n[6]\r\nModel_Number=\r\n[31]\r\nModel_Number=2\r\n" + clean).find("machine"),
      std::string::npos);
  // What the stub reads as meant: 255 characters are kept whole, "~~" is the line-break marker, "0" a
  // deliberate switch, an empty Advanced no restriction, the program found as the stub finds it.
  EXPECT_EQ(
      Lint(u"[validate]\r\ncpu=0\r\nbios=1\r\n[bios]\r\nManufacturer=x\r\n[cpu]\r\nAdvanced=\r\n[message]\r\nfail=" +
           std::u16string(250, u'x') + u"~~end\r\n[executable]\r\nfile=./SUB/Tool.EXE\r\n"),
      "");
}

}  // namespace
}  // namespace qf::pack
