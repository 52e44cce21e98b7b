#include <gtest/gtest.h>

#include "pack/lib/PackPlan.h"
#include "support/TestFiles.h"

namespace qf::pack {
namespace {

using test::Bytes;

std::string All(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

PlannedFile File(std::u16string directory, std::u16string name, uint64_t size = 1) {
  return {u"in\\" + directory + name, std::move(directory), std::move(name), size};
}

std::string Check(const std::vector<PlannedFile>& files, uint64_t stub = 1024, uint64_t settings = 100) {
  return All(CheckPlan(files, stub, settings));
}

TEST(PackPlan, CollectsATreeWithNestedFoldersAndEmptyFiles) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "app" / "sub" / "deeper");
  std::filesystem::create_directories(dir / "app" / "nothing" / "here");
  test::WriteBytes(dir / "app" / "setup.exe", Bytes(10, 's'));
  test::WriteBytes(dir / "app" / "sub" / "empty.dat", {});
  test::WriteBytes(dir / "app" / "sub" / "deeper" / "data.bin", Bytes(3, 'd'));
  test::WriteBytes(dir / "app" / "$Settings.ini", Bytes(2, 'x'));
  test::WriteBytes(dir / "readme.txt", Bytes(5, 'r'));

  const std::vector<std::u16string> inputs = {test::CorePath(dir / "app"), test::CorePath(dir / "readme.txt")};
  const Collected c = CollectInputs(inputs, test::CorePath(dir / "app" / "$Settings.ini"));
  EXPECT_EQ(All(c.errors), "");
  ASSERT_EQ(c.files.size(), 4u);
  EXPECT_EQ(c.files[0].PackagedPath(), u"readme.txt");
  EXPECT_EQ(c.files[0].size, 5u);
  EXPECT_EQ(c.files[1].PackagedPath(), u"setup.exe");
  EXPECT_EQ(c.files[2].directory, u"sub\\");
  EXPECT_EQ(c.files[2].name, u"empty.dat");
  EXPECT_EQ(c.files[2].size, 0u);
  EXPECT_EQ(c.files[3].PackagedPath(), u"sub\\deeper\\data.bin");
  EXPECT_EQ(test::ReadBytes(FsPath(c.files[3].source)), Bytes(3, 'd'));
  ASSERT_EQ(c.warnings.size(), 2u) << All(c.warnings);
  EXPECT_NE(All(c.warnings).find("folder nothing\\here\\ holds no file"), std::string::npos);
  EXPECT_EQ(Check(c.files), "");
}

TEST(PackPlan, NamesAMissingInput) {
  test::TempDir dir;
  const std::vector<std::u16string> inputs = {test::CorePath(dir / "gone")};
  EXPECT_NE(All(CollectInputs(inputs, u"").errors).find("gone: no such file or folder"), std::string::npos);
}

TEST(PackPlan, RefusesMoreThan1024Entries) {
  std::vector<PlannedFile> files;
  for (int i = 0; i < 1023; ++i) {
    const std::string number = std::to_string(i);
    files.push_back(File(u"", u"f" + std::u16string(number.begin(), number.end())));
  }
  EXPECT_EQ(Check(files), "");
  files.push_back(File(u"", u"one-too-many"));
  EXPECT_EQ(Check(files), "1024 files and the settings make 1025 entries; a package holds at most 1024\n");
}

TEST(PackPlan, RefusesWhatTheStubCannotHoldNamingTheFileAndTheReason) {
  // The workspace C:\ and fifteen letters, a backslash, then folder and name:
  // 19 + 240 = 259 units still open; 260 do not.
  const std::u16string folder = std::u16string(100, u'd') + u"\\";
  const uint64_t limit = 0x80000000ull;
  const uint64_t fixed = 1024 + 100 + (16 + 2 * 13) + 32 + (16 + 2 * 5);  // stub, settings, records, trailer
  // clang-format off
  const std::vector<std::pair<PlannedFile, std::string>> cases = {
      {File(u"", std::u16string(512, u'n')), "the name has 512 characters; at most 511"},
      {File(std::u16string(300, u'a') + u"\\" + std::u16string(211, u'b') + u"\\", u"x"), "has 513 characters; at most 511"},
      {File(folder, std::u16string(139, u'n')), ""},
      {File(folder, std::u16string(140, u'n')), ": extracted as " + std::string(100, 'd') + "\\" + std::string(140, 'n') + " below the workspace its path has 260 characters"},
      {File(u"", u"a.bin", limit - fixed), ""},
      {File(u"", u"a.bin", limit - fixed + 1), "the installer would have 2147483649 bytes; the stub reads at most 2147483648 (2 GiB)\n"},
      {File(u"", u"a:b"), "in\\a:b: the character ':', which Windows forbids"},
      {File(u"", u"what?.txt"), "the character '?'"},
      {File(u"", u"pipe|d"), "the character '|'"},
      {File(u"", u"tab\there"), "a control character"},
      {File(u"", u"name."), "ends in a dot or a blank"},
      {File(u"", u"name "), "ends in a dot or a blank"},
      {File(u"", u"CON"), "\"CON\" is a device name"},
      {File(u"", u"nul.txt"), "\"nul.txt\" is a device name"},
      {File(u"", u"com1.log"), "is a device name"},
      {File(u"aux\\", u"x.txt"), "folder \"aux\": \"aux\" is a device name"},
      {File(u"a*b\\", u"x.txt"), "folder \"a*b\": the character '*'"},
  };
  // clang-format on
  for (const auto& [file, reason] : cases) {
    const std::string refused = Check({file});
    EXPECT_TRUE(reason.empty() ? refused.empty() : refused.find(reason) != std::string::npos) << reason << refused;
  }
}

TEST(PackPlan, RefusesTwoFilesAtOnePathAndAFileInTheSettingsPlace) {
  const std::string twice = Check({File(u"Sub\\", u"A.txt"), File(u"sub\\", u"a.TXT")});
  EXPECT_NE(twice.find("in\\sub\\a.TXT: extracts to the same path as in\\Sub\\A.txt"), std::string::npos) << twice;
  for (const auto& [a, b] : {std::pair{u"\u00C9.txt", u"\u00E9.txt"}, {u"\u03A9.txt", u"\u03C9.txt"}}) {
    EXPECT_NE(Check({File(u"", a), File(u"", b)}).find("extracts to the same path as"), std::string::npos);
  }
  EXPECT_NE(Check({File(u"", u"$settings.INI")}).find("would take the settings' place"), std::string::npos);
  EXPECT_EQ(Check({File(u"sub\\", u"$Settings.ini")}), "");
}

}  // namespace
}  // namespace qf::pack
