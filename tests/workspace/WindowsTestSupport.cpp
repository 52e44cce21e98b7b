#include "WindowsTestSupport.h"

#include <cstring>

#include "sys/Unique.h"
#include "workspace/LogonRemoval.h"

namespace qf::test {
namespace {

using sys::FromWide;
using sys::Wide;

constexpr DWORD kPollMs = 5;
constexpr DWORD kTextLimit = 1 << 20;

// Wine's own export: the host path of a Windows path, in the host's encoding.
using UnixFileNameFunction = char*(CDECL*)(LPCWSTR);

std::optional<std::u16string> HostPath(const std::u16string& path) {
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto toUnix = reinterpret_cast<UnixFileNameFunction>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "wine_get_unix_file_name")));
  if (toUnix == nullptr) return std::nullopt;
  char* unix = toUnix(Wide(path));
  if (unix == nullptr) return std::nullopt;
  std::u16string result;
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, unix, -1, nullptr, 0);
  if (units > 0) {
    std::vector<wchar_t> wide(units);
    ::MultiByteToWideChar(CP_UTF8, 0, unix, -1, wide.data(), units);
    result = FromWide(wide.data());
  }
  ::HeapFree(::GetProcessHeap(), 0, unix);
  return result;
}

// Wine starts a host program without giving back a handle: the caller polls for its effect.
bool StartHostProgram(const std::u16string& program, const std::u16string& arguments) {
  std::u16string commandLine = arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const std::u16string executable = u"\\\\?\\unix" + program;
  if (!::CreateProcessW(Wide(executable), reinterpret_cast<wchar_t*>(commandLine.data()), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &info)) {
    return false;
  }
  sys::UniqueHandle process(info.hProcess), thread(info.hThread);
  return true;
}

bool IsLink(const std::u16string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD deadlineMs) {
  const ULONGLONG end = ::GetTickCount64() + deadlineMs;
  while (!condition()) {
    if (::GetTickCount64() > end) return false;
    ::Sleep(kPollMs);
  }
  return true;
}

bool RunningUnderWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::u16string ProgramDirectory() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::u16string path = FromWide(buffer, length);
  return path.substr(0, path.find_last_of(u'\\') + 1);
}

std::u16string CurrentDirectory() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, buffer);
  return FromWide(buffer, length);
}

DWORD Attributes(const std::u16string& path) { return ::GetFileAttributesW(Wide(path)); }

bool Exists(const std::u16string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

void WriteText(const std::u16string& path, const std::u16string& text) {
  sys::UniqueFile file(
      ::CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(char16_t)), &written, nullptr);
}

std::optional<std::u16string> ReadText(const std::u16string& path) {
  sys::UniqueFile file(::CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::u16string text(kTextLimit, u'\0');
  DWORD read = 0;
  if (!::ReadFile(file.get(), text.data(), kTextLimit * sizeof(char16_t), &read, nullptr)) return std::nullopt;
  text.resize(read / sizeof(char16_t));
  return text;
}

std::optional<RegistryValue> RunOnceValue() {
  const std::u16string keyPath(kRunOnceKey), name(kRunOnceValueName);
  sys::UniqueKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(keyPath), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  RegistryValue value{REG_NONE, {}};
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), Wide(name), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.data.resize(size);
  if (::RegQueryValueExW(key.get(), Wide(name), nullptr, &value.type, value.data.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.data.resize(size);
  return value;
}

std::u16string AsText(const RegistryValue& value) {
  std::u16string text(value.data.size() / sizeof(char16_t), u'\0');
  std::memcpy(text.data(), value.data.data(), text.size() * sizeof(char16_t));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

bool MakeDirectoryLink(const std::u16string& target, const std::u16string& link) {
  if (!RunningUnderWine()) {
    return ::CreateSymbolicLinkW(Wide(link), Wide(target),
                                 SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0;
  }
  const auto hostTarget = HostPath(target), hostLink = HostPath(link);
  if (!hostTarget || !hostLink) return false;
  if (!StartHostProgram(u"/bin/ln", u"ln -s \"" + *hostTarget + u"\" \"" + *hostLink + u"\"")) return false;
  return WaitUntil([&] { return IsLink(link); });
}

bool RemoveDirectoryLink(const std::u16string& link) {
  if (!IsLink(link)) return true;
  if (!RunningUnderWine()) return ::RemoveDirectoryW(Wide(link)) != 0;
  const auto hostLink = HostPath(link);
  if (!hostLink || !StartHostProgram(u"/bin/rm", u"rm -f \"" + *hostLink + u"\"")) return false;
  return WaitUntil([&] { return !Exists(link); });
}

std::optional<DWORD> RunAndWait(const std::u16string& commandLine) {
  std::u16string line = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info)) {
    return std::nullopt;
  }
  sys::UniqueHandle process(info.hProcess), thread(info.hThread);
  if (::WaitForSingleObject(process.get(), kDeadlineMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.get(), &code)) return std::nullopt;
  return code;
}

}  // namespace qf::test
