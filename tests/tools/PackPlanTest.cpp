#include <gtest/gtest.h>

#include "pack/lib/PackPlan.h"

namespace qf::pack {
namespace {

std::string All(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

PlannedFile File(std::u16string directory, std::u16string name, uint64_t size = 1) {
  return {u"in\\" + directory + name, std::move(directory), std::move(name), size};
}

std::vector<PlannedFile> Many(int count) {
  std::vector<PlannedFile> files;
  for (int i = 0; i < count; ++i) {
    const std::string number = std::to_string(i);
    files.push_back(File(u"", u"f" + std::u16string(number.begin(), number.end())));
  }
  return files;
}

TEST(PackPlan, RefusesWhatTheStubCannotHoldNamingTheFileAndTheReason) {
  // The workspace C:\ and fifteen letters, a backslash, then folder and name:
  // 19 + 240 = 259 units still open; 260 do not.
  const std::u16string folder = std::u16string(100, u'd') + u"\\";
  const uint64_t limit = 0x80000000ull;
  const uint64_t fixed = 1024 + 100 + (16 + 2 * 13) + 32 + (16 + 2 * 5);  // stub, settings, records, trailer
  struct Case {
    std::vector<PlannedFile> files;
    std::string reason;  // empty: accepted
  };
  // clang-format off
  const std::vector<Case> cases = {
      {Many(1023), ""},
      {Many(1024), "1024 files and the settings make 1025 entries; a package holds at most 1024\n"},
      {{File(u"", std::u16string(512, u'n'))}, "the name has 512 characters; at most 511"},
      {{File(std::u16string(300, u'a') + u"\\" + std::u16string(211, u'b') + u"\\", u"x")}, "has 513 characters; at most 511"},
      {{File(folder, std::u16string(139, u'n'))}, ""},
      {{File(folder, std::u16string(140, u'n'))}, ": extracted as " + std::string(100, 'd') + "\\" + std::string(140, 'n') + " below the workspace its path has 260 characters"},
      {{File(u"", u"a.bin", limit - fixed)}, ""},
      {{File(u"", u"a.bin", limit - fixed + 1)}, "the installer would have 2147483649 bytes; the stub reads at most 2147483648 (2 GiB)\n"},
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
    const std::string refused = All(CheckPlan(cases[i].files, 1024, 100));
    const std::string& reason = cases[i].reason;
    EXPECT_TRUE(reason.empty() ? refused.empty() : refused.find(reason) != std::string::npos)
        << "case " << i << ": " << refused;
  }
}

}  // namespace
}  // namespace qf::pack
