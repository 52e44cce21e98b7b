#pragma once
// What the Windows tests share: the test prefix's drives, registry and
// processes, and the record the test installer writes.
#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qf::test {

inline constexpr DWORD kDeadlineMs = 60000;

// Polls until `condition` holds; false once the deadline has passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD deadlineMs = kDeadlineMs);

inline const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline std::u16string U(const std::wstring& text) { return {text.begin(), text.end()}; }

std::wstring OwnDirectory();                                  // the test program's, without a trailing backslash
void SetEnv(const wchar_t* name, const std::wstring& value);  // empty: removed
DWORD Attributes(const std::wstring& path);
bool Exists(const std::wstring& path);

// A value of the current user's RunOnce key, as REG_SZ: the workspace's
// "TavixQF" unless another name is given (e.g. "TavixQF.kqzmwtebhyalrvo").
std::optional<std::wstring> RunOnceValue(const std::wstring& name = {});
void SetRunOnceValue(const std::wstring& command);
void DeleteRunOnceValue(const std::wstring& name = {});

// Workspaces at the root of `drive` ("C:"), as full paths.
std::set<std::wstring> Workspaces(const std::wstring& drive = L"C:");
// Relative paths of the files below `root`, sorted. Unlike FilesBelow it opens
// no file: a workspace file may be held open, shared with nobody.
std::vector<std::wstring> FileNamesBelow(const std::wstring& root);
// Removes a tree whatever its files' attributes.
void RemoveAll(const std::wstring& root);

// Runs a command line and waits for it; its exit code, or nothing.
std::optional<DWORD> RunAndWait(const std::wstring& commandLine);
// Starts a program of the host; Wine gives back no handle, so this waits for `hostDone`.
bool RunOnHost(const std::wstring& hostProgram, const std::wstring& commandLine, const std::function<bool()>& hostDone);
std::wstring HostPath(const std::wstring& path);

// A directory link at `link` to `target`. Wine cannot make reparse points but
// shows a host symbolic link as one: the host's ln makes it.
bool MakeDirectoryLink(const std::wstring& target, const std::wstring& link);
bool RemoveDirectoryLink(const std::wstring& link);

// The test installer's record: key=value lines.
std::map<std::string, std::string> ReadRecord(const std::wstring& path);

}  // namespace qf::test
