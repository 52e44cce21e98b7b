// A stand-in installer program for the end-to-end tests. It records what it
// was given and what it finds, then ends with a chosen code after a chosen
// time. Everything it is told comes from the environment, which the stub
// passes on:
//   QF_TEST_RECORD     file to write the record to (UTF-8, key=value lines)
//   QF_TEST_SLEEP_MS   how long to run
//   QF_TEST_EXIT_CODE  the exit code
//   QF_TEST_CHILD_MS   start a child that runs this long, then exit at once
//   QF_TEST_CHILD_HOLD a file beside the installer that the child keeps open,
//                      shared with nobody, while it runs
//   QF_TEST_TREE       if set, record how many files lie below the installer's
//                      folder and a hash of their paths and contents
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "workspace/LogonRemoval.h"

namespace {

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[1024];
  const DWORD n = ::GetEnvironmentVariableW(name, buffer, 1024);
  return (n > 0 && n < 1024) ? std::wstring(buffer, n) : std::wstring();
}

unsigned long EnvNumber(const wchar_t* name) {
  const std::wstring text = Env(name);
  return text.empty() ? 0 : std::wcstoul(text.c_str(), nullptr, 10);
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// The command line after the program's own name: the parameters as passed.
std::wstring Parameters() {
  const wchar_t* p = ::GetCommandLineW();
  if (*p == L'"') {
    ++p;
    while (*p != 0 && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p != 0 && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Directory(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring FilesIn(const std::wstring& directory) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((directory + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  std::sort(names.begin(), names.end());
  std::wstring joined;
  for (const auto& n : names) joined += (joined.empty() ? L"" : L"|") + n;
  return joined;
}

std::wstring RunOnceValue() {
  wchar_t value[1024] = {};
  DWORD size = sizeof value;
  const std::wstring key(qf::kRunOnceKey.begin(), qf::kRunOnceKey.end());
  const std::wstring name(qf::kRunOnceValueName.begin(), qf::kRunOnceValueName.end());
  const LSTATUS status =
      ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, value, &size);
  return status == ERROR_SUCCESS ? value : L"";
}

unsigned long long NowFileTime() {
  FILETIME now;
  ::GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

void Append(const std::wstring& path, const std::string& text) {
  HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
}

void FilesBelow(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& out) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      FilesBelow(root, relative + name + L"\\", out);
    } else {
      out.push_back(relative + name);
    }
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
}

// FNV-1a over every file in path order: its path (UTF-16LE), its size (8
// bytes, little-endian), its contents. The tests compute the same over the
// entries they packed.
unsigned long long TreeHash(const std::wstring& root, std::size_t& files) {
  std::vector<std::wstring> paths;
  FilesBelow(root, L"", paths);
  std::sort(paths.begin(), paths.end());
  files = paths.size();
  unsigned long long hash = 14695981039346656037ull;
  auto mix = [&hash](const void* bytes, std::size_t count) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < count; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
  };
  std::vector<char> buffer(1 << 16);
  for (const std::wstring& path : paths) {
    mix(path.data(), path.size() * sizeof(wchar_t));
    HANDLE file = ::CreateFileW((root + L"\\" + path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size{};
    ::GetFileSizeEx(file, &size);
    const unsigned long long length = static_cast<unsigned long long>(size.QuadPart);
    for (int i = 0; i < 8; ++i) {
      const unsigned char b = static_cast<unsigned char>(length >> (8 * i));
      mix(&b, 1);
    }
    DWORD got = 0;
    while (::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
      mix(buffer.data(), got);
    }
    ::CloseHandle(file);
  }
  return hash;
}

// The installer ends only once its child holds the file, as an installer
// that hands over to a running program would.
// The child says it holds its file with this event, named after the installer's process.
std::wstring HeldEventName(DWORD installer) { return L"Local\\qf-test-held-" + std::to_wstring(installer); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring parameters = Parameters();
  if (parameters.rfind(L"--child ", 0) == 0) {
    wchar_t* rest = nullptr;
    const unsigned long ms = std::wcstoul(parameters.c_str() + 8, &rest, 10);
    while (*rest == L' ') ++rest;
    HANDLE held = INVALID_HANDLE_VALUE;
    if (*rest != 0) {
      // Shared with nobody: another program's look at the file may stand in the way for a moment.
      const ULONGLONG until = ::GetTickCount64() + 10000;
      while ((held = ::CreateFileW(rest, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) ==
                 INVALID_HANDLE_VALUE &&
             ::GetTickCount64() < until) {
        ::Sleep(5);
      }
      if (held != INVALID_HANDLE_VALUE) {
        HANDLE told = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, Env(L"QF_TEST_HELD_EVENT").c_str());
        if (told != nullptr) {
          ::SetEvent(told);
          ::CloseHandle(told);
        }
      }
    }
    ::Sleep(ms);
    if (held != INVALID_HANDLE_VALUE) ::CloseHandle(held);
    return 0;
  }
  const std::wstring record = Env(L"QF_TEST_RECORD");
  if (record.empty()) return 3;

  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t cwd[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, cwd);
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring here = Directory(self);

  std::string lines;
  lines += "started_at=" + std::to_string(NowFileTime()) + "\n";
  lines += "params=" + Utf8(parameters) + "\n";
  lines += "cwd=" + Utf8(cwd) + "\n";
  lines += "self=" + Utf8(self) + "\n";
  lines += "beside=" + Utf8(FilesIn(here)) + "\n";
  lines += "settings_beside=" + std::string(Exists(here + L"\\$Settings.ini") ? "1" : "0") + "\n";
  lines += "settings_in_temp=" + std::string(Exists(std::wstring(temp) + L"$Settings.ini") ? "1" : "0") + "\n";
  lines += "runonce=" + Utf8(RunOnceValue()) + "\n";
  if (!Env(L"QF_TEST_TREE").empty()) {
    std::size_t files = 0;
    const unsigned long long hash = TreeHash(here, files);
    lines += "tree_files=" + std::to_string(files) + "\n";
    lines += "tree_hash=" + std::to_string(hash) + "\n";
  }

  if (const unsigned long childMs = EnvNumber(L"QF_TEST_CHILD_MS"); childMs > 0) {
    // The child runs from a copy outside the workspace, as a second program an
    // installer hands over to would.
    const std::wstring copy = std::wstring(temp) + L"qf-test-child.exe";
    ::CopyFileW(self, copy.c_str(), FALSE);
    std::wstring command = L"\"" + copy + L"\" --child " + std::to_wstring(childMs);
    const std::wstring hold = Env(L"QF_TEST_CHILD_HOLD");
    if (!hold.empty()) command += L" " + here + L"\\" + hold;
    const std::wstring eventName = HeldEventName(::GetCurrentProcessId());
    HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    ::SetEnvironmentVariableW(L"QF_TEST_HELD_EVENT", eventName.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &process)) {
      lines += "child_pid=" + std::to_string(process.dwProcessId) + "\n";
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
      if (!hold.empty()) {
        const bool holds = held != nullptr && ::WaitForSingleObject(held, 10000) == WAIT_OBJECT_0;
        lines += "child_holds=" + std::string(holds ? "1" : "0") + "\n";
      }
    }
    if (held != nullptr) ::CloseHandle(held);
  }
  Append(record, lines);
  ::Sleep(EnvNumber(L"QF_TEST_SLEEP_MS"));
  const unsigned long code = EnvNumber(L"QF_TEST_EXIT_CODE");
  Append(record, "ended_at=" + std::to_string(NowFileTime()) + "\n");
  return static_cast<int>(code);
}
