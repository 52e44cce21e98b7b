#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qf::test {

inline constexpr DWORD kDeadlineMs = 30000;

// Polls every few milliseconds until `condition` holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& condition, DWORD deadlineMs = kDeadlineMs);

bool RunningUnderWine();

// Workspace::Create's path, empty when none was made.
template <class Workspace>
std::u16string Made(Workspace& workspace) {
  workspace.Create();
  return workspace.Path();
}

// The directory of the running test program, with a trailing backslash.
std::u16string ProgramDirectory();

std::u16string CurrentDirectory();
bool Exists(const std::u16string& path);
DWORD Attributes(const std::u16string& path);
void WriteText(const std::u16string& path, const std::u16string& text);
std::optional<std::u16string> ReadText(const std::u16string& path);

struct RegistryValue {
  DWORD type;
  std::vector<BYTE> data;
};
// The workspace's RunOnce value of the current user, if there is one.
std::optional<RegistryValue> RunOnceValue();
std::u16string AsText(const RegistryValue& value);

// A directory link at `link` to the directory `target`. Wine cannot create
// reparse points, but shows a Unix symbolic link as one: it is made by the
// host's ln. False when no link could be made.
bool MakeDirectoryLink(const std::u16string& target, const std::u16string& link);
// Removes such a link without touching its target.
bool RemoveDirectoryLink(const std::u16string& link);

// Runs a command line and waits for it; its exit code, or nothing.
std::optional<DWORD> RunAndWait(const std::u16string& commandLine);

}  // namespace qf::test
