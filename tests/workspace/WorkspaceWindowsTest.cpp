// The workspace and the installer's process on real Win32 (under Wine: the
// test prefix's C: drive, registry and processes).
#include <windows.h>
// after windows.h
#include <gtest/gtest.h>
#include <sddl.h>

#include "Win32Test.h"
#include "sys/Unique.h"
#include "workspace/ProcessLauncher.h"
#include "workspace/Workspace.h"
#include "workspace/WorkspaceName.h"
#include "workspace/WorkspaceSecurity.h"

namespace qf {
namespace {

using test::Attributes;
using test::Exists;
using test::RunOnceValue;
using test::U;

std::wstring MakeWorkspace(Workspace& workspace) {
  workspace.Create();
  return test::W(workspace.Path());
}

void MakeFile(const std::wstring& path, DWORD attributes) {
  const sys::UniqueFile file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
  ASSERT_TRUE(file) << ::GetLastError();
}

void MakeDirectory(const std::wstring& path, DWORD attributes = 0) {
  ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr)) << ::GetLastError();
  if (attributes != 0) ::SetFileAttributesW(path.c_str(), attributes);
}

TEST(WorkspaceOnWindows, IsAHiddenFixedDriveFolderWhoseRemovalIsRegisteredUntilItIsDeleted) {
  Workspace workspace;
  EXPECT_EQ(workspace.ScheduleRemovalAtLogon(), ERROR_BAD_PATHNAME) << "only a workspace's removal is registered";
  const std::wstring path = MakeWorkspace(workspace);
  ASSERT_TRUE(IsWorkspacePath(U(path))) << path;
  EXPECT_EQ(::GetDriveTypeW(path.substr(0, 3).c_str()), static_cast<UINT>(DRIVE_FIXED));
  EXPECT_EQ(path[0], L'C') << "the test prefix's only fixed drive";
  EXPECT_EQ(Attributes(path) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(RunOnceValue(), L"cmd /C rmdir /S /Q " + path);

  // A blank or overlong path deletes nothing and keeps the registration.
  EXPECT_FALSE(workspace.DeleteTree(u" "));
  EXPECT_FALSE(workspace.DeleteTree(U(path + L"\\" + std::wstring(260, L'x'))));
  EXPECT_EQ(RunOnceValue(), L"cmd /C rmdir /S /Q " + path);

  MakeFile(path + L"\\setup.exe", FILE_ATTRIBUTE_READONLY);
  MakeFile(path + L"\\system.dat", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
  MakeDirectory(path + L"\\one");
  MakeDirectory(path + L"\\one\\two");
  MakeFile(path + L"\\one\\two\\deep.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  ::SetFileAttributesW((path + L"\\one\\two").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(workspace.DeleteTree(U(path)));
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(RunOnceValue(), L"cmd /C rmdir /S /Q " + path) << "deleting the tree withdraws nothing";

  // A second run's value takes the name, the first's is moved; each withdraws its own only.
  Workspace second;
  const std::wstring secondPath = MakeWorkspace(second), moved = L"TavixQF." + path.substr(3);
  EXPECT_NE(secondPath, path) << "names cannot be foretold";
  EXPECT_EQ(RunOnceValue(), L"cmd /C rmdir /S /Q " + secondPath);
  EXPECT_EQ(RunOnceValue(moved), L"cmd /C rmdir /S /Q " + path);
  EXPECT_EQ(workspace.CancelScheduledRemoval(U(path)), ERROR_SUCCESS);
  EXPECT_EQ(workspace.CancelScheduledRemoval(U(path)), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(RunOnceValue(moved));
  EXPECT_EQ(RunOnceValue(), L"cmd /C rmdir /S /Q " + secondPath);
  EXPECT_TRUE(second.DeleteTree(second.Path()));
  EXPECT_EQ(second.CancelScheduledRemoval(second.Path()), ERROR_SUCCESS);
  EXPECT_FALSE(RunOnceValue());
}

// Nothing behind a link in the workspace, nor behind a link given as the tree, is deleted.
TEST(WorkspaceOnWindows, DeleteTreeNeverEntersALink) {
  const std::wstring target = L"C:\\qf-link-target-" + std::to_wstring(::GetCurrentProcessId());
  MakeDirectory(target);
  MakeFile(target + L"\\keep.txt", FILE_ATTRIBUTE_READONLY);
  MakeDirectory(target + L"\\inner");
  MakeFile(target + L"\\inner\\keep too.txt", 0);
  const std::vector<std::wstring> kept = test::FileNamesBelow(target);

  Workspace workspace;
  const std::wstring path = MakeWorkspace(workspace);
  MakeFile(path + L"\\setup.exe", 0);
  const std::wstring inside = path + L"\\link", root = target + L"-link";
  ASSERT_TRUE(test::MakeDirectoryLink(target, inside));
  ASSERT_TRUE(test::MakeDirectoryLink(target, root));
  EXPECT_TRUE(workspace.DeleteTree(U(path)));
  EXPECT_TRUE(workspace.DeleteTree(U(root)));
  EXPECT_EQ(test::FileNamesBelow(target), kept);
  EXPECT_FALSE(Exists(path + L"\\setup.exe"));
  workspace.CancelScheduledRemoval(workspace.Path());
  // Wine follows a host link asked to remove it: the links may stay, never what is behind them.
  test::RemoveDirectoryLink(inside);
  test::RemoveDirectoryLink(root);
  test::RemoveAll(path);
  test::RemoveAll(target);
}

TEST(WorkspaceOnWindows, OnlyTheUserSystemAndAdministratorsHaveAccess) {
  auto security = WorkspaceSecurity::Build();
  ASSERT_TRUE(security);
  wchar_t* sddl = nullptr;
  ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(security->Descriptor(), SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &sddl, nullptr));
  const std::wstring dacl = sddl;
  ::LocalFree(sddl);
  sys::UniqueHandle token;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
  char buffer[256];
  DWORD size = sizeof buffer;
  ASSERT_TRUE(::GetTokenInformation(token.get(), TokenUser, buffer, size, &size));
  wchar_t* user = nullptr;
  ASSERT_TRUE(::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &user));
  EXPECT_EQ(dacl, L"D:P(A;OICI;FA;;;" + std::wstring(user) + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  ::LocalFree(user);
  const SECURITY_ATTRIBUTES attributes = security->Attributes();
  EXPECT_EQ(attributes.lpSecurityDescriptor, security->Descriptor());
  EXPECT_FALSE(attributes.bInheritHandle);
}

// A missing program, or no process at all, never means waiting forever.
TEST(ProcessLauncher, NoProcessIsNeverWaitedFor) {
  const ProcessLauncher launcher;
  EXPECT_FALSE(launcher.LaunchProgram(u"C:\\qf-no-such-directory\\setup.exe", u"-s"));
  EXPECT_TRUE(launcher.InstallerHasEnded(nullptr, 0));
  ::SetLastError(0);
  EXPECT_EQ(launcher.GetProcessIdFromHandle(nullptr), 0u);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
}  // namespace qf
