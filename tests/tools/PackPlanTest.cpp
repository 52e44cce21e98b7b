#include <gtest/gtest.h>

#include "pack/lib/PackPlan.h"

namespace qf::pack {
namespace {

// The stub's limits at their edges, and the names Windows cannot take: refused
// before a byte is written, naming the file and the reason.
TEST(PackPlan, RefusesWhatTheStubCannotHoldNamingTheFileAndTheReason) {
  auto File = [](std::u16string dir, std::u16string name, uint64_t size = 1) {
    return PlannedFile{u"in\\" + dir + name, dir, name, size};
  };
  std::vector<PlannedFile> many;  // named by one ideograph each, which have no case to be folded
  for (char16_t i = 0; i < 1024; ++i)
    many.push_back(File(u"", std::u16string(1, static_cast<char16_t>(u'\u4E00' + i))));
  // The workspace C:\ and fifteen letters, a backslash, then folder and name:
  // 19 + 240 = 259 units still open; 260 do not.
  const std::u16string folder = std::u16string(100, u'd') + u"\\";
  const uint64_t fits = 0x80000000ull - (1024 + 100 + (16 + 2 * 13) + 32 + (16 + 2 * 5));  // less stub, settings, table
  // clang-format off
  const std::vector<std::pair<std::vector<PlannedFile>, std::string>> cases = {  // the files; why refused, or nothing
      {std::vector(many.begin(), many.end() - 1), ""},
      {many, "1024 files and the settings make 1025 entries; a package holds at most 1024\n"},
      {{File(u"", std::u16string(512, u'n'))}, "the name has 512 characters; at most 511"},
      {{File(std::u16string(300, u'a') + u"\\" + std::u16string(211, u'b') + u"\\", u"x")}, "has 513 characters; at most 511"},
      {{File(folder, std::u16string(139, u'n'))}, ""},
      {{File(folder, std::u16string(140, u'n'))}, ": extracted as " + std::string(100, 'd') + "\\" + std::string(140, 'n') + " below the workspace its path has 260 characters"},
      {{File(u"", u"a.bin", fits)}, ""},
      {{File(u"", u"a.bin", fits + 1)}, "app.exe: the installer would have 2147483649 bytes; the stub reads at most 2147483648 (2 GiB)\n"},
      {{File(u"", u"a:b")}, "in\\a:b: the character ':', which Windows forbids"},
      {{File(u"", u"tab\there")}, "a control character"},
      {{File(u"", u"name.")}, "ends in a dot or a blank"},
      {{File(u"", u"nul.txt")}, "\"nul.txt\" is a device name"},
      {{File(u"aux\\", u"x.txt")}, "folder \"aux\": \"aux\" is a device name"},
      {{File(u"a*b\\", u"x.txt")}, "folder \"a*b\": the character '*'"},
      {{File(u"Sub\\", u"A.txt"), File(u"sub\\", u"a.TXT")}, "in\\sub\\a.TXT: extracts to the same path as in\\Sub\\A.txt"},
      {{File(u"", u"\u00C9.txt"), File(u"", u"\u00E9.txt")}, "extracts to the same path as"},
      {{File(u"", u"$settings.INI")}, "would take the settings' place"},
      {{File(u"sub\\", u"$Settings.ini")}, ""},
  };
  // clang-format on
  for (std::size_t i = 0; i < cases.size(); ++i) {
    std::string refused;
    for (const std::string& line : CheckPlan(cases[i].first, 1024, 100, "app.exe")) refused += line + "\n";
    const std::string& reason = cases[i].second;
    EXPECT_TRUE(reason.empty() ? refused.empty() : refused.find(reason) != std::string::npos)
        << "the row refused for \"" << reason << "\": " << refused;
  }
}

}  // namespace
}  // namespace qf::pack
