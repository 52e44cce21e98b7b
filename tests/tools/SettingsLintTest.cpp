#include <gtest/gtest.h>

#include "pack/lib/SettingsLint.h"
#include "pack/lib/Strings.h"

namespace qf::pack {
namespace {

const std::vector<std::u16string> kPackaged = {u"setup.exe", u"sub\\tool.exe", u"$Settings.ini"};

// Settings that draw no warning, so that each case below adds exactly one mistake.
const std::u16string kClean = u"[executable]\r\nfile=setup.exe\r\nparam=-s\r\n";

std::vector<Finding> Lint(const std::u16string& text) { return LintSettings(text, kPackaged); }

std::string All(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& f : findings) text += std::to_string(f.line) + ": " + f.message + "\n";
  return text;
}

TEST(SettingsLint, TheReferenceSettingsDrawNoWarning) {
  const std::u16string reference =
      u"[validate]\r\ncpu=1\r\nbios=0\r\nbaseboard=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=\r\n"
      u"[bios]\r\nManufacturer=Tavix Corp.\r\n[baseboard]\r\nManufacturer=Tavix Corporation\r\n"
      u"[executable]\r\nfile=setup.exe\r\nparam=-s\r\n[message]\r\n"
      u"fail=This software will install on Tavix hardware only.~~Please contact your vendor.\r\n";
  EXPECT_EQ(All(Lint(reference)), "");
}

struct Case {
  const char* what;
  std::u16string text;  // added in front of the clean settings
  int line;
  const char* message;
};

TEST(SettingsLint, WarnsAboutEachLikelyMistakeOnItsLine) {
  const std::u16string fail = u"[message]\r\nfail=no\r\n";
  const std::u16string cpuOn = u"[validate]\r\ncpu=1\r\n" + fail + u"[cpu]\r\nProcessor=TavixSilicon\r\n";
  // clang-format off
  const std::vector<Case> cases = {
      {"section case", u"[Validate]\r\ncpu=1\r\n", 1, "[Validate] is not a section the stub reads; did you mean [validate]?"},
      {"section blanks", u"[ bios]\r\nManufacturer=x\r\n", 1, "[ bios] is not a section the stub reads; did you mean [bios]?"},
      {"section misspelt", u"[validation]\r\ncpu=1\r\n", 1, "did you mean [validate]?"},
      {"section cut short", u"[exec]\r\nfile=x\r\n", 1, "[exec] is not a section the stub reads; did you mean [executable]?"},
      {"section unknown", u"[colours]\r\n", 1, "[colours] is not a section the stub reads\n"},
      {"key case", u"[validate]\r\nCPU=1\r\n", 2, "`CPU` in [validate] is not a key the stub reads; did you mean `cpu`?"},
      {"key blank", u"[validate]\r\ncpu =1\r\n", 2, "did you mean `cpu`?"},
      {"key letters swapped", u"[validate]\r\nbasebaord=1\r\n", 2, "`basebaord` in [validate] is not a key the stub reads; did you mean `baseboard`?"},
      {"key plural", u"[executable]\r\nparams=-s\r\n", 2, "`params` in [executable] is not a key the stub reads; did you mean `param`?"},
      {"family as Linux shows it", cpuOn + u"Advanced=25\r\n[25]\r\nModel_Number=1\r\n", 7, "family 25 never matches: a family above 15 is 15 + 16 x the extended family (31, 47, ...); a family 25 as Linux shows it is 15 + 10, which the stub reads as 15 + 16 x 10 = 175"},
      {"family past the largest", cpuOn + u"Advanced=4111\r\n", 7, "family 4111 never matches: the largest family is 15 + 16 x 255 = 4095"},
      {"model above 15", cpuOn + u"Advanced=6\r\n[6]\r\nModel_Number=8;158\r\n", 9, "model 158 of [6] Model_Number never matches: the stub reads models 0 to 15"},
      {"hexadecimal family", cpuOn + u"Advanced=0x19\r\n", 7, "never matches: numbers are compared as plain decimals without leading zeros; hexadecimal 0x19 is 25"},
      {"switch word", u"[validate]\r\nbios=yes\r\n", 2, "[validate] bios is \"yes\": only exactly \"1\""},
      {"switch with a blank", u"[validate]\r\nbaseboard= 1\r\n", 2, "[validate] baseboard is \" 1\""},
      {"switch empty", u"[validate]\r\ncpu=\r\n", 2, "[validate] cpu is \"\""},
      {"family without its section", cpuOn + u"Advanced=6\r\n", 7, "family \"6\" of [cpu] Advanced has no section [6]"},
      {"family without Model_Number", cpuOn + u"Advanced=6\r\n[6]\r\nModel=8\r\n", 7, "has no Model_Number in its section [6]"},
      {"family without models", cpuOn + u"Advanced=6\r\n[6]\r\nModel_Number=;\r\n", 9, "[6] Model_Number lists no model"},
      {"only separators", cpuOn + u"Advanced=;;\r\n", 7, "lists no family, only separators"},
      {"leading zero", cpuOn + u"Advanced=06\r\n", 7, "item \"06\" of [cpu] Advanced never matches"},
      {"model not a number", cpuOn + u"Advanced=6\r\n[6]\r\nModel_Number=8a\r\n", 9, "item \"8a\" of [6] Model_Number"},
      {"blank in a family list", cpuOn + u"Advanced=6; 15\r\n[6]\r\nModel_Number=8\r\n", 7, "item \" 15\" of [cpu] Advanced has a blank"},
      {"blank in a maker list", u"[baseboard]\r\nManufacturer=Tavix;Other \r\n", 2, "item \"Other \" of [baseboard] Manufacturer has a blank"},
      {"vendor text length", u"[cpu]\r\nProcessor=Tavix\r\n", 2, "is not 12 characters long"},
      {"processor check without a vendor", u"[validate]\r\ncpu=1\r\n" + fail, 2, "[cpu] Processor is empty"},
      {"maker check without makers", u"[validate]\r\nbios=1\r\n" + fail, 2, "[bios] Manufacturer lists no maker"},
      {"check without a failure text", u"[validate]\r\nbaseboard=1\r\n[baseboard]\r\nManufacturer=x\r\n", 0, "[message] fail is empty or missing"},
      {"value over 255", u"[message]\r\nfail=" + std::u16string(256, u'x') + u"\r\n", 2, "is 256 characters long; the stub reads only its first 255"},
      {"key over 255", u"[message]\r\n" + std::u16string(256, u'k') + u"=1\r\n", 2, "the key is 256 characters"},
      {"duplicate key", u"[validate]\r\nbios=0\r\n[validate]\r\nbios=1\r\n", 4, "[validate] bios appears again; the stub uses the first one, on line 2"},
      {"text before the first section", u"cpu=1\r\n", 1, "text before the first section is ignored"},
      {"line without =", u"[validate]\r\ncpu 1\r\n", 2, "no \"=\" after \"cpu 1\""},
      {"blank after a header", u"[validate] \r\nbios=0\r\n", 1, "the stub reads the name \"validate]\""},
      {"line longer than one read", u"[message]\r\nfail=" + std::u16string(1100, u'x') + u"\r\n", 2, "over 1023 characters long"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const auto findings = Lint(c.text + kClean);
    const auto hit = std::find_if(findings.begin(), findings.end(), [&](const Finding& f) {
      return f.line == c.line && (f.message + "\n").find(c.message) != std::string::npos;
    });
    EXPECT_NE(hit, findings.end()) << c.what << ":\n" << All(findings);
  }
}

TEST(SettingsLint, ChecksTheProgramAgainstThePackagedFiles) {
  auto lint = [](const std::u16string& file) { return All(Lint(u"[executable]\r\nfile=" + file + u"\r\n")); };
  const std::string noCheck = "0: No check is on: every machine is accepted\n";
  EXPECT_EQ(lint(u"setup.exe"), noCheck);
  // Windows finds files whatever their letter case and with either separator.
  EXPECT_EQ(lint(u"SUB/Tool.EXE"), noCheck);
  EXPECT_EQ(lint(u"sub\\tool.exe"), noCheck);
  // A program the installer cannot start refuses the build.
  EXPECT_TRUE(Lint(u"[executable]\r\nfile=gone.exe\r\n").at(1).error);
  EXPECT_NE(lint(u"setup2.exe").find("2: [executable] file \"setup2.exe\" names no packaged file"), std::string::npos);
  EXPECT_NE(lint(u"tool.exe").find("names no packaged file"), std::string::npos);
  EXPECT_NE(lint(u"").find("[executable] file is empty or missing"), std::string::npos);
  EXPECT_NE(lint(u"$Settings.ini").find("names the settings file"), std::string::npos);
  EXPECT_NE(All(Lint(u"[message]\r\nfail=x\r\n")).find("[executable] file is empty or missing"), std::string::npos);
}

TEST(SettingsLint, LimitsAndMarkersThatAreFine) {
  // 255 characters are kept whole, "~~" is the line-break marker, "0" is a
  // deliberate switch, and an empty Advanced puts no restriction.
  const std::u16string text =
      u"[validate]\r\ncpu=0\r\nbios=1\r\n[bios]\r\nManufacturer=x\r\n[cpu]\r\nAdvanced=\r\n[message]\r\nfail=" +
      std::u16string(250, u'x') + u"~~end\r\n" + kClean;
  EXPECT_EQ(All(Lint(text)), "");
}

TEST(SettingsLint, NumbersArePlainDecimals) {
  EXPECT_TRUE(IsPlainDecimal(u"0") && IsPlainDecimal(u"15"));
  for (const char16_t* text : {u"", u"06", u"+6", u"-6", u" 6", u"6 ", u"0x6", u"six"}) {
    EXPECT_FALSE(IsPlainDecimal(text)) << Utf8(text);
  }
}

}  // namespace
}  // namespace qf::pack
