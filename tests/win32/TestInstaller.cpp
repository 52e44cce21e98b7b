// A stand-in installer for the Windows tests. It writes a record of what it was
// given and what it finds (UTF-8 key=value lines, written aside and renamed so
// that a reader never sees half of it), waits to be released and ends. It is
// told what to do by the environment, which the stub passes on:
//   QF_TEST_RECORD      the record's path (without it: exit code 3)
//   QF_TEST_EXIT_CODE   its exit code
//   QF_TEST_RELEASE     an event: it ends once the event is set
//   QF_TEST_CHILD       an event: it first starts a child, from a copy outside
//                       the workspace, that runs until the event is set
//   QF_TEST_CHILD_HOLD  a file beside it that the child keeps open, shared with
//                       nobody; the record is written once the child holds it
//   QF_TEST_TIMES       when set, the record also says when it started and,
//                       rewritten at its end, when it ended (for the benchmark)
// `--load DLL` only loads a DLL by its bare name (a program without any
// protection against planted DLLs); `--child` is the child.
#include <windows.h>

#include <string>
#include <vector>

#include "Win32Test.h"
#include "sys/Unique.h"

using qf::test::Exists;

namespace {

constexpr DWORD kLongestWaitMs = 120000;

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[1024];
  const DWORD n = ::GetEnvironmentVariableW(name, buffer, 1024);
  return (n > 0 && n < 1024) ? std::wstring(buffer, n) : std::wstring();
}

// The tests' paths and parameters are ASCII.
std::string Utf8(const std::wstring& text) { return {text.begin(), text.end()}; }

std::string Now() {
  FILETIME now;
  ::GetSystemTimePreciseAsFileTime(&now);
  return std::to_string((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

// The command line after the program's own name and the blanks that follow it.
std::wstring Parameters() {
  const wchar_t* p = ::GetCommandLineW();
  if (*p == L'"') {
    for (++p; *p != 0 && *p != L'"'; ++p) {
    }
    if (*p == L'"') ++p;
  } else {
    while (*p != 0 && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

void WaitFor(const std::wstring& eventName) {
  if (const qf::sys::UniqueHandle event(::OpenEventW(SYNCHRONIZE, FALSE, eventName.c_str())); event) {
    ::WaitForSingleObject(event.get(), kLongestWaitMs);
  }
}

void Write(const std::wstring& path, const std::string& text) {
  const std::wstring part = path + L".part";
  {
    const qf::sys::UniqueFile file(
        ::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  ::MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Starts the child; its process id, and whether it holds `hold` (if given).
std::string StartChild(const std::wstring& self, const std::wstring& temp, const std::wstring& hold) {
  // A copy a child still runs cannot be replaced, but is this very program.
  const std::wstring copy = temp + L"qf-test-child.exe";
  ::CopyFileW(self.c_str(), copy.c_str(), FALSE);
  const std::wstring heldName = L"Local\\qf-test-held-" + std::to_wstring(::GetCurrentProcessId());
  const qf::sys::UniqueHandle held(::CreateEventW(nullptr, TRUE, FALSE, heldName.c_str()));
  std::wstring command = L"\"" + copy + L"\" --child " + heldName + L" " + hold;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string lines;
  if (::CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
    lines = "child_pid=" + std::to_string(process.dwProcessId) + "\n";
    if (!hold.empty()) {
      // The child says so once it holds the file, or ends if it cannot.
      const HANDLE either[] = {held.get(), process.hProcess};
      const bool holds = ::WaitForMultipleObjects(2, either, FALSE, kLongestWaitMs) == WAIT_OBJECT_0;
      lines += "child_holds=" + std::string(holds ? "1" : "0") + "\n";
    }
    qf::sys::UniqueHandle thread(process.hThread), child(process.hProcess);
  }
  return lines;
}

int Child(const std::wstring& arguments) {
  const std::size_t blank = arguments.find(L' ');
  const std::wstring heldName = arguments.substr(0, blank);
  const std::wstring hold = blank == std::wstring::npos ? L"" : arguments.substr(blank + 1);
  qf::sys::UniqueFile file;
  if (!hold.empty()) {
    file.reset(::CreateFileW(hold.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 1;
  }
  if (const qf::sys::UniqueHandle told(::OpenEventW(EVENT_MODIFY_STATE, FALSE, heldName.c_str())); told) {
    ::SetEvent(told.get());
  }
  WaitFor(Env(L"QF_TEST_CHILD"));
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring parameters = Parameters();
  if (parameters.rfind(L"--child ", 0) == 0) return Child(parameters.substr(8));
  if (parameters.rfind(L"--load ", 0) == 0) return ::LoadLibraryW(parameters.substr(7).c_str()) != nullptr ? 0 : 1;
  const std::string started = Now();
  const std::wstring record = Env(L"QF_TEST_RECORD");
  if (record.empty()) return 3;
  const bool times = !Env(L"QF_TEST_TIMES").empty();

  wchar_t self[MAX_PATH] = {}, cwd[MAX_PATH] = {}, temp[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  ::GetCurrentDirectoryW(MAX_PATH, cwd);
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring here = std::wstring(self).substr(0, std::wstring(self).find_last_of(L'\\'));
  const std::wstring hold = Env(L"QF_TEST_CHILD_HOLD");
  std::string lines = "pid=" + std::to_string(::GetCurrentProcessId()) + "\nparams=" + Utf8(parameters) +
                      "\ncwd=" + Utf8(cwd) + "\nself=" + Utf8(self) +
                      "\nhidden=" + std::to_string((::GetFileAttributesW(here.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0) +
                      "\nsettings_beside=" + std::to_string(Exists(here + L"\\$Settings.ini")) +
                      "\nsettings_in_temp=" + std::to_string(Exists(std::wstring(temp) + L"$Settings.ini")) +
                      "\nrunonce=" + Utf8(qf::test::RunOnceValue().value_or(L"")) + "\n";
  if (!Env(L"QF_TEST_CHILD").empty()) lines += StartChild(self, temp, hold.empty() ? L"" : here + L"\\" + hold);
  if (times) lines += "started_at=" + started + "\n";
  Write(record, lines);
  WaitFor(Env(L"QF_TEST_RELEASE"));
  if (times) Write(record, lines + "ended_at=" + Now() + "\n");
  return static_cast<int>(std::wcstoul(Env(L"QF_TEST_EXIT_CODE").c_str(), nullptr, 10));
}
