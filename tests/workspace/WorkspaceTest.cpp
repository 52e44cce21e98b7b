#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "WindowsTestSupport.h"
#include "support/TestFiles.h"
#include "sys/Unique.h"
#include "workspace/LogonRemoval.h"
#include "workspace/Workspace.h"
#include "workspace/WorkspaceName.h"

namespace qf {
namespace {

using sys::Wide;
using test::Attributes;
using test::Exists;

// Whatever a test leaves at the drive root or in the registry goes when it ends,
// links first so that nothing is deleted through them.
class Leftovers {
 public:
  ~Leftovers() {
    for (const auto& link : m_links) test::RemoveDirectoryLink(link);
    Workspace cleaner;
    for (const auto& path : m_paths) {
      if (Exists(path)) cleaner.DeleteTree(path);
    }
    cleaner.CancelScheduledRemoval();
  }
  std::u16string Path(const std::u16string& path) { return m_paths.emplace_back(path); }
  std::u16string Link(const std::u16string& link) { return m_links.emplace_back(link); }

 private:
  std::vector<std::u16string> m_paths;
  std::vector<std::u16string> m_links;
};

std::u16string UniqueRootName(const std::u16string& stem) {
  return u"C:\\qf-" + stem + u"-" + std::u16string(1, static_cast<char16_t>(u'a' + ::GetTickCount() % 26)) +
         sys::FromWide(std::to_wstring(::GetCurrentProcessId()).c_str());
}

void MakeDirectory(const std::u16string& path, DWORD attributes = 0) {
  ASSERT_TRUE(::CreateDirectoryW(Wide(path), nullptr)) << ::GetLastError();
  if (attributes != 0) {
    ASSERT_TRUE(::SetFileAttributesW(Wide(path), attributes));
  }
}

void MakeFile(const std::u16string& path, const std::u16string& text, DWORD attributes = 0) {
  test::WriteText(path, text);
  ASSERT_TRUE(Exists(path));
  if (attributes != 0) {
    ASSERT_TRUE(::SetFileAttributesW(Wide(path), attributes));
  }
}

std::u16string ScheduledCommand() {
  const auto value = test::RunOnceValue();
  return value ? test::AsText(*value) : u"<none>";
}

TEST(WorkspaceOnWindows, CreateMakesHiddenDirectoryAtFixedDriveRootAndSchedulesItsRemoval) {
  Leftovers leftovers;
  // The scan makes every drive current in turn; the directory current before,
  // not only its drive, must be current after: the installer starts in it.
  const std::u16string testDirectory = test::CurrentDirectory();
  const test::TempDir current;
  ASSERT_TRUE(::SetCurrentDirectoryW(Wide(current.core())));
  Workspace workspace;
  const std::u16string path = leftovers.Path(test::Made(workspace));
  const std::u16string after = test::CurrentDirectory();
  ::SetCurrentDirectoryW(Wide(testDirectory));
  EXPECT_EQ(after, current.core());

  ASSERT_TRUE(IsWorkspacePath(path)) << std::string(path.begin(), path.end());
  EXPECT_EQ(workspace.Path(), path);
  EXPECT_EQ(::GetDriveTypeW(Wide(path.substr(0, 3))), static_cast<UINT>(DRIVE_FIXED));
  // In the test prefix C: is the only fixed drive: the build directory is a network drive.
  if (test::RunningUnderWine()) {
    EXPECT_EQ(path[0], u'C');
  }

  const DWORD attributes = Attributes(path);
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_SYSTEM);

  const auto value = test::RunOnceValue();
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
  const std::u16string expected = u"cmd /C rmdir /S /Q " + path;
  EXPECT_EQ(value->data.size(), (expected.size() + 1) * sizeof(char16_t));
  EXPECT_EQ(test::AsText(*value), expected);

  EXPECT_EQ(workspace.DeleteTree(path), 1);
  EXPECT_FALSE(Exists(path));
  EXPECT_FALSE(test::RunOnceValue());
}

// Names come from the system's cryptographic generator: two workspaces made in
// the same second differ, so no one can make the next one's directory first.
TEST(WorkspaceOnWindows, NamesCannotBeForetold) {
  Leftovers leftovers;
  Workspace workspace;
  const std::u16string first = leftovers.Path(test::Made(workspace));
  ASSERT_TRUE(IsWorkspacePath(first));
  workspace.DeleteTree(first);
  EXPECT_NE(leftovers.Path(test::Made(workspace)), first);
}

TEST(WorkspaceOnWindows, DeleteTreeRemovesProtectedHiddenAndNestedEntries) {
  Leftovers leftovers;
  Workspace workspace;
  const std::u16string path = leftovers.Path(test::Made(workspace));
  ASSERT_TRUE(IsWorkspacePath(path));
  MakeFile(path + u"\\setup.exe", u"x", FILE_ATTRIBUTE_READONLY);
  MakeFile(path + u"\\system.dat", u"x", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
  MakeDirectory(path + u"\\hidden", FILE_ATTRIBUTE_HIDDEN);
  MakeFile(path + u"\\hidden\\locked.txt", u"x", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  MakeDirectory(path + u"\\one");
  MakeDirectory(path + u"\\one\\two", FILE_ATTRIBUTE_READONLY);
  MakeFile(path + u"\\one\\two\\deep.txt", u"x");
  MakeFile(path + u"\\one\\two\\no extension", u"x");

  EXPECT_EQ(workspace.DeleteTree(path), 1);
  EXPECT_FALSE(Exists(path));
  EXPECT_FALSE(test::RunOnceValue());
}

TEST(WorkspaceOnWindows, DeleteTreeNeverEntersALink) {
  Leftovers leftovers;
  const std::u16string target = leftovers.Path(UniqueRootName(u"target"));
  MakeDirectory(target);
  MakeFile(target + u"\\keep.txt", u"keep", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  MakeDirectory(target + u"\\inner");
  MakeFile(target + u"\\inner\\keep too.txt", u"keep too");

  Workspace workspace;
  const std::u16string path = leftovers.Path(test::Made(workspace));
  ASSERT_TRUE(IsWorkspacePath(path));
  MakeFile(path + u"\\setup.exe", u"x");
  const std::u16string link = leftovers.Link(path + u"\\link");
  ASSERT_TRUE(test::MakeDirectoryLink(target, link));
  ASSERT_TRUE(Attributes(link) & FILE_ATTRIBUTE_REPARSE_POINT);

  EXPECT_EQ(workspace.DeleteTree(path), 1);

  EXPECT_EQ(test::ReadText(target + u"\\keep.txt"), u"keep");
  EXPECT_EQ(Attributes(target + u"\\keep.txt") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(test::ReadText(target + u"\\inner\\keep too.txt"), u"keep too");
  EXPECT_FALSE(Exists(path + u"\\setup.exe"));
  EXPECT_FALSE(test::RunOnceValue());
  if (test::RunningUnderWine()) {
    // Wine 8 follows a host symbolic link when asked to remove it, so the link,
    // and with it the workspace, stays; what matters is that nothing behind it went.
    EXPECT_TRUE(Attributes(link) & FILE_ATTRIBUTE_REPARSE_POINT);
  } else {
    EXPECT_FALSE(Exists(link));
    EXPECT_FALSE(Exists(path));
  }
}

TEST(WorkspaceOnWindows, DeleteTreeOfALinkLeavesItsTarget) {
  Leftovers leftovers;
  const std::u16string target = leftovers.Path(UniqueRootName(u"linked"));
  MakeDirectory(target);
  MakeFile(target + u"\\keep.txt", u"keep");
  const std::u16string link = leftovers.Link(UniqueRootName(u"link"));
  ASSERT_TRUE(test::MakeDirectoryLink(target, link));

  EXPECT_EQ(Workspace().DeleteTree(link), 1);
  EXPECT_EQ(test::ReadText(target + u"\\keep.txt"), u"keep");
}

// A blank or overlong path deletes nothing and keeps the registration; a
// workspace already gone still withdraws it.
TEST(WorkspaceOnWindows, DeleteTreeWithdrawsTheRegistrationOnlyForAWorkspace) {
  Leftovers leftovers;
  Workspace workspace;
  const std::u16string path = leftovers.Path(test::Made(workspace));
  ASSERT_TRUE(IsWorkspacePath(path));
  EXPECT_EQ(workspace.DeleteTree(u" "), 0);
  EXPECT_EQ(workspace.DeleteTree(path + u"\\" + std::u16string(260, u'x')), 0);
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ(ScheduledCommand(), u"cmd /C rmdir /S /Q " + path);
  ASSERT_TRUE(::RemoveDirectoryW(Wide(path)));
  EXPECT_EQ(workspace.DeleteTree(path), 1);
  EXPECT_FALSE(test::RunOnceValue());
}

TEST(WorkspaceOnWindows, ScheduledCommandRemovesTheWorkspace) {
  Leftovers leftovers;
  Workspace workspace;
  const std::u16string path = leftovers.Path(test::Made(workspace));
  ASSERT_TRUE(IsWorkspacePath(path));
  MakeFile(path + u"\\setup.exe", u"x");
  MakeDirectory(path + u"\\data", FILE_ATTRIBUTE_HIDDEN);
  MakeFile(path + u"\\data\\payload.bin", u"x");

  // What the logon would run.
  const auto code = test::RunAndWait(ScheduledCommand());
  ASSERT_TRUE(code);
  EXPECT_EQ(*code, 0u);
  EXPECT_FALSE(Exists(path));

  EXPECT_EQ(workspace.CancelScheduledRemoval(), 1);
  EXPECT_FALSE(test::RunOnceValue());
  EXPECT_EQ(workspace.CancelScheduledRemoval(), 1);
}

TEST(WorkspaceOnWindows, RemovalIsScheduledOnlyForAWorkspacePath) {
  Leftovers leftovers;
  Workspace workspace;
  workspace.CancelScheduledRemoval();
  EXPECT_EQ(workspace.ScheduleRemovalAtLogon(), 0);
  EXPECT_FALSE(test::RunOnceValue());
  const std::u16string path = leftovers.Path(test::Made(workspace));
  ASSERT_TRUE(test::RunOnceValue());
  workspace.CancelScheduledRemoval();
  EXPECT_EQ(workspace.ScheduleRemovalAtLogon(), 1);
  EXPECT_EQ(ScheduledCommand(), u"cmd /C rmdir /S /Q " + path);
}

}  // namespace
}  // namespace qf
