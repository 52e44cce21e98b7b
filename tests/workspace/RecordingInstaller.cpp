// A GUI program standing in for an installer: it records what it was given.
#include "RecordingInstaller.h"

#include <windows.h>

#include <string>

#include "sys/Unique.h"

namespace {

constexpr DWORD kVariableUnits = 1024;
// Never outlives a test that forgot to release it by much.
constexpr DWORD kLongestRunMs = 60000;

std::wstring Variable(const wchar_t* name) {
  wchar_t buffer[kVariableUnits];
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, kVariableUnits);
  return length > 0 && length < kVariableUnits ? std::wstring(buffer, length) : std::wstring();
}

std::wstring CurrentDirectory() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, buffer);
  return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

// Written aside and renamed, so that the test never reads half a record.
bool Record(const std::wstring& target, const std::wstring& text) {
  const std::wstring part = target + L".part";
  {
    qf::sys::UniqueFile file(
        ::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const auto bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!::WriteFile(file.get(), text.data(), bytes, &written, nullptr) || written != bytes) return false;
  }
  return ::MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR parameters, int) {
  const std::wstring target = Variable(kRecordToVariable);
  if (target.empty() || !Record(target, std::wstring(parameters) + kRecordSeparator + CurrentDirectory())) return 2;
  const std::wstring eventName = Variable(kReleaseEventVariable);
  if (!eventName.empty()) {
    qf::sys::UniqueHandle release(::OpenEventW(SYNCHRONIZE, FALSE, eventName.c_str()));
    if (release) ::WaitForSingleObject(release.get(), kLongestRunMs);
  }
  return 0;
}
