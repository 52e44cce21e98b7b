#include <gtest/gtest.h>

#include "settings/SettingsFile.h"
#include "support/TestFiles.h"

namespace qf::settings {
namespace {

test::Bytes WithMark(std::u16string_view text) {
  test::Bytes bytes{0xFF, 0xFE};
  const test::Bytes body = test::Utf16Le(text);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

constexpr std::u16string_view kReference =
    u"[validate]\r\n"
    u"cpu=1\r\n"
    u"bios=0\r\n"
    u"baseboard=1\r\n"
    u"[cpu]\r\n"
    u"Processor=TavixSilicon\r\n"
    u"Advanced=\r\n"
    u"[bios]\r\n"
    u"Manufacturer=Tavix Corp.\r\n"
    u"[baseboard]\r\n"
    u"Manufacturer=Tavix Corporation\r\n"
    u"[executable]\r\n"
    u"file=TavixSetup.exe\r\n"
    u"param=-s\r\n"
    u"[message]\r\n"
    u"fail=This software will install on Tavix hardware only. Please contact your vendor.\r\n";

class SettingsFileTest : public ::testing::Test {
 protected:
  SettingsFile Write(std::u16string_view text) {
    test::WriteBytes(m_dir / "$Settings.ini", WithMark(text));
    return SettingsFile(m_dir.core() + u"\\$Settings.ini");
  }
  test::TempDir m_dir;
};

TEST_F(SettingsFileTest, ReferenceFileReadsBackKeyByKey) {
  const SettingsFile settings = Write(kReference);
  const IniDocument& document = settings.Document();
  struct Expected {
    std::u16string_view section, key, value;
  };
  for (const Expected& e :
       {Expected{key::kValidate, key::kCpu, u"1"}, Expected{key::kValidate, key::kBios, u"0"},
        Expected{key::kValidate, key::kBaseboard, u"1"}, Expected{key::kCpu, key::kProcessor, u"TavixSilicon"},
        Expected{key::kCpu, key::kAdvanced, u""}, Expected{key::kBios, key::kManufacturer, u"Tavix Corp."},
        Expected{key::kBaseboard, key::kManufacturer, u"Tavix Corporation"},
        Expected{key::kExecutable, key::kFile, u"TavixSetup.exe"}, Expected{key::kExecutable, key::kParam, u"-s"},
        Expected{key::kMessage, key::kFail,
                 u"This software will install on Tavix hardware only. Please contact your vendor."}}) {
    std::u16string out = u"stale";
    EXPECT_EQ(document.GetValue(e.section, e.key, out), kIniFound) << e.key.size();
    EXPECT_EQ(out, e.value);
  }
  EXPECT_EQ(document.Sections().size(), 6u);
  std::u16string file, parameters;
  EXPECT_EQ(settings.GetExecutable(file, parameters), 1);
  EXPECT_EQ(file, u"TavixSetup.exe");
  EXPECT_EQ(parameters, u"-s");
}

TEST_F(SettingsFileTest, ValidateKeyInCapitalsSwitchesNothingOn) {
  const SettingsFile settings = Write(u"[validate]\r\nCPU=1\r\n");
  std::u16string out;
  EXPECT_EQ(settings.Document().GetValue(key::kValidate, key::kCpu, out), kIniNoKey);
  EXPECT_EQ(out, u"");
}

TEST_F(SettingsFileTest, AbsentExecutableReadsAsEmptyTexts) {
  const SettingsFile settings = Write(u"[validate]\r\ncpu=1\r\n");
  std::u16string file = u"old.exe", parameters = u"/old";
  EXPECT_EQ(settings.GetExecutable(file, parameters), 1);
  EXPECT_EQ(file, u"");
  EXPECT_EQ(parameters, u"");
  // file present, param absent: only param is empty.
  const SettingsFile onlyFile = Write(u"[executable]\r\nfile=a.exe\r\n");
  parameters = u"/old";
  onlyFile.GetExecutable(file, parameters);
  EXPECT_EQ(file, u"a.exe");
  EXPECT_EQ(parameters, u"");
}

// Settings that are not UTF-16LE with the mark read as empty, every check off,
// and say so: a run must not go on with them.
TEST_F(SettingsFileTest, MissingOrUnmarkedSettingsReadAsEmptyAndUnreadable) {
  const SettingsFile missing(m_dir.core() + u"\\absent.ini");
  std::u16string file = u"x", parameters = u"y";
  EXPECT_EQ(missing.GetExecutable(file, parameters), 1);
  EXPECT_EQ(file, u"");
  EXPECT_TRUE(missing.Document().Sections().empty());

  const std::string utf8 = "\xEF\xBB\xBF[validate]\r\ncpu=1\r\n";
  for (const test::Bytes& bytes : {test::Bytes{}, test::Bytes(utf8.begin(), utf8.end()), test::Utf16Le(kReference),
                                   test::Bytes{0xFF}, test::Bytes{0xFE, 0xFF, 0, '['}}) {
    const SettingsFile settings{std::span<const unsigned char>(bytes)};
    EXPECT_FALSE(settings.Readable()) << bytes.size();
    EXPECT_TRUE(settings.Document().Sections().empty());
  }
  const SettingsFile settings{std::span<const unsigned char>(WithMark(kReference))};
  EXPECT_TRUE(settings.Readable());
  settings.GetExecutable(file, parameters);
  EXPECT_EQ(parameters, u"-s");
}

}  // namespace
}  // namespace qf::settings
