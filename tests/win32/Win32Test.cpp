#include "Win32Test.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "sys/Unique.h"
#include "workspace/LogonRemoval.h"
#include "workspace/WorkspaceName.h"

namespace qf::test {
namespace fs = std::filesystem;

namespace {
const std::u16string kKey(kRunOnceKey), kValue(kRunOnceValueName);
const wchar_t* ValueName(const std::wstring& name) { return name.empty() ? W(kValue) : name.c_str(); }
}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD deadlineMs) {
  const ULONGLONG end = ::GetTickCount64() + deadlineMs;
  while (!condition()) {
    if (::GetTickCount64() > end) return false;
    ::Sleep(5);
  }
  return true;
}

std::wstring OwnDirectory() {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring path = self;
  return path.substr(0, path.find_last_of(L'\\'));
}

void SetEnv(const wchar_t* name, const std::wstring& value) {
  ::SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }
bool Exists(const std::wstring& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

std::optional<std::wstring> RunOnceValue(const std::wstring& name) {
  wchar_t value[1024] = {};
  DWORD size = sizeof value;
  if (::RegGetValueW(HKEY_CURRENT_USER, W(kKey), ValueName(name), RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, value,
                     &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(value);
}

void SetRunOnceValue(const std::wstring& command) {
  ::RegSetKeyValueW(HKEY_CURRENT_USER, W(kKey), W(kValue), REG_SZ, command.c_str(),
                    static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
}

void DeleteRunOnceValue(const std::wstring& name) { ::RegDeleteKeyValueW(HKEY_CURRENT_USER, W(kKey), ValueName(name)); }

std::set<std::wstring> Workspaces(const std::wstring& drive) {
  std::set<std::wstring> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(drive + L"\\", ec)) {
    const std::wstring path = drive + L"\\" + entry.path().filename().wstring();
    if (IsWorkspacePath(U(path)) && entry.is_directory(ec)) found.insert(path);
  }
  return found;
}

std::vector<std::wstring> FileNamesBelow(const std::wstring& root) {
  std::vector<std::wstring> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec)) files.push_back(it->path().lexically_relative(root).wstring());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void RemoveAll(const std::wstring& root) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  ::SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_NORMAL);
  fs::remove_all(root, ec);
}

namespace {
// Starts a program with its command line; its process (none from Wine for a host program), or nothing.
std::optional<sys::UniqueHandle> Start(const wchar_t* program, std::wstring line, DWORD flags) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &info))
    return std::nullopt;
  sys::UniqueHandle thread(info.hThread);
  return sys::UniqueHandle(info.hProcess);
}
}  // namespace

std::optional<DWORD> RunAndWait(const std::wstring& commandLine) {
  const auto process = Start(nullptr, commandLine, CREATE_NO_WINDOW);
  DWORD code = 0;
  if (!process || ::WaitForSingleObject(process->get(), kDeadlineMs) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(process->get(), &code))
    return std::nullopt;
  return code;
}

bool RunOnHost(const std::wstring& hostProgram, const std::wstring& commandLine,
               const std::function<bool()>& hostDone) {
  return Start((L"\\\\?\\unix" + hostProgram).c_str(), commandLine, 0).has_value() && WaitUntil(hostDone);
}

std::wstring HostPath(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* unix = toUnix != nullptr ? toUnix(path.c_str()) : nullptr;
  if (unix == nullptr) return {};
  const std::string text = unix;
  ::HeapFree(::GetProcessHeap(), 0, unix);
  return {text.begin(), text.end()};
}

namespace {
bool IsLink(const std::wstring& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
}  // namespace

bool MakeDirectoryLink(const std::wstring& target, const std::wstring& link) {
  return RunOnHost(L"/bin/ln", L"ln -s \"" + HostPath(target) + L"\" \"" + HostPath(link) + L"\"",
                   [&] { return IsLink(link); });
}

bool RemoveDirectoryLink(const std::wstring& link) {
  if (!IsLink(link)) return true;
  return RunOnHost(L"/bin/rm", L"rm -f \"" + HostPath(link) + L"\"", [&] { return !Exists(link); });
}

std::map<std::string, std::string> ReadRecord(const std::wstring& path) {
  std::map<std::string, std::string> values;
  std::ifstream in{fs::path(path)};
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

}  // namespace qf::test
