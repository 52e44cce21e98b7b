// Starts installers one after another and times them from the outside.
//
//   qf_bench_runner --machine
//       prints this machine's processor vendor and baseboard maker, for
//       settings whose checks pass here
//   qf_bench_runner --keep
//       keeps a window, and so Wine's desktop, open until it is ended
//   qf_bench_runner [--settle FILE] ROUNDS NAME=INSTALLER[|ARGUMENTS]...
//       runs every installer once per round, in the order given, with the
//       arguments after a "|" if there are any; round 0 warms
//       up and is not reported. One JSON object per run on the standard output.
//       With --settle, before each run FILE is created, holding the run's
//       installer and arguments, and the run waits until someone has deleted
//       it (bench/run.sh flushes the disk and reads the files named meanwhile).
//       A "+" between two installers makes them a pair that runs in turn: in
//       every other round the second runs first, so that neither always takes
//       the place after the same run.
//
// Each installer is to start the test installer program, which writes the
// moment it started (QF_TEST_RECORD). A run reports, in milliseconds from the
// moment just before CreateProcess: when that program started, when it ended,
// and when the installer's process had ended (its cleanup done); the peak
// working set of the installer's process, polled while it runs; and the
// folders it left in C:\ or in the temporary folder.
// psapi.h needs the Windows types in front of it.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/CpuIdentity.h"
#include "platform/WmiQuery.h"

namespace {

constexpr DWORD kPollMs = 5;
constexpr DWORD kSettleTimeoutMs = 120000;
constexpr DWORD kRunTimeoutMs = 600000;
constexpr double kFileTimeUnitsPerMs = 10000.0;

unsigned long long Now() {
  FILETIME now;
  ::GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, buffer);
  return buffer;
}

std::set<std::wstring> FoldersIn(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
      names.insert(folder + name);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return names;
}

std::set<std::wstring> Watched() {
  std::set<std::wstring> all = FoldersIn(L"C:\\");
  for (const auto& name : FoldersIn(TempFolder())) all.insert(name);
  return all;
}

std::map<std::string, std::string> ReadRecord(const std::wstring& path) {
  std::map<std::string, std::string> values;
  std::ifstream in{std::filesystem::path(path)};
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

std::string Milliseconds(unsigned long long from, unsigned long long to) {
  if (from == 0 || to == 0) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", (static_cast<double>(to) - static_cast<double>(from)) / kFileTimeUnitsPerMs);
  return text;
}

SIZE_T PeakWorkingSet(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  return ::K32GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

void RunOnce(const std::string& name, const std::wstring& job, int round) {
  const std::size_t bar = job.find(L'|');
  const std::wstring installer = job.substr(0, bar);
  const std::wstring record = TempFolder() + L"qf-bench-record.txt";
  ::DeleteFileW(record.c_str());
  ::SetEnvironmentVariableW(L"QF_TEST_RECORD", record.c_str());
  const std::wstring folder = installer.substr(0, installer.find_last_of(L'\\'));
  const std::set<std::wstring> before = Watched();

  std::wstring command = L"\"" + installer + L"\"";
  if (bar != std::wstring::npos) command += L" " + job.substr(bar + 1);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const unsigned long long started = Now();
  if (!::CreateProcessW(installer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
    std::printf("{\"name\":%s,\"round\":%d,\"error\":\"cannot start (%lu)\"}\n", Json(name).c_str(), round,
                ::GetLastError());
    return;
  }
  ::CloseHandle(process.hThread);
  SIZE_T peak = 0;
  const unsigned long long deadline = started + kRunTimeoutMs * 10000ull;
  bool ended = false;
  while (!ended && Now() < deadline) {
    ended = ::WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0;
    if (!ended) peak = std::max(peak, PeakWorkingSet(process.hProcess));
  }
  const unsigned long long exited = ended ? Now() : 0;
  peak = std::max(peak, PeakWorkingSet(process.hProcess));
  if (!ended) ::TerminateProcess(process.hProcess, 0xDEAD);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hProcess);

  const auto values = ReadRecord(record);
  const unsigned long long launched = values.count("started_at") ? std::stoull(values.at("started_at")) : 0;
  const unsigned long long installerEnded = values.count("ended_at") ? std::stoull(values.at("ended_at")) : 0;
  std::string left;
  for (const auto& path : Watched()) {
    if (before.count(path)) continue;
    if (!left.empty()) left += ',';
    left += Json(Narrow(path));
  }
  std::printf(
      "{\"name\":%s,\"round\":%d,\"exit_code\":%lu,\"start_to_launch_ms\":%s,\"installer_end_ms\":%s,"
      "\"total_ms\":%s,\"peak_working_set\":%llu,\"left_behind\":[%s]}\n",
      Json(name).c_str(), round, code, Milliseconds(started, launched).c_str(),
      Milliseconds(started, installerEnded).c_str(), Milliseconds(started, exited).c_str(),
      static_cast<unsigned long long>(peak), left.c_str());
  std::fflush(stdout);
  ::DeleteFileW(record.c_str());
}

// Hands over to the harness, telling it what runs next, until it deletes the
// marker file.
void Settle(const std::wstring& marker, const std::wstring& job) {
  // Written under another name first: the harness sees the marker only whole.
  const std::wstring written = marker + L".new";
  HANDLE file = ::CreateFileW(written.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = Narrow(job) + "\n";
  DWORD count = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &count, nullptr);
  ::CloseHandle(file);
  if (!::MoveFileExW(written.c_str(), marker.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
  const ULONGLONG until = ::GetTickCount64() + kSettleTimeoutMs;
  while (::GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES && ::GetTickCount64() < until) ::Sleep(10);
}

int Machine() {
  qf::platform::CpuIdentity cpu;
  cpu.Identify();
  qf::platform::WmiQuery wmi;
  wmi.SetNamespace(u"ROOT\\CIMV2");
  std::u16string baseboard;
  wmi.GetProperty(u"Win32_BaseBoard", u"Manufacturer", baseboard);
  const std::u16string vendor = cpu.Vendor();
  std::printf("vendor=%s\nbaseboard=%s\n", Narrow(std::wstring(vendor.begin(), vendor.end())).c_str(),
              Narrow(std::wstring(baseboard.begin(), baseboard.end())).c_str());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"--machine") return Machine();
  if (argc == 2 && std::wstring(argv[1]) == L"--keep") {
    ::CreateWindowExW(0, L"STATIC", L"qf-bench", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    return 0;
  }
  int first = 1;
  std::wstring settle;
  if (argc > 2 && std::wstring(argv[1]) == L"--settle") {
    settle = argv[2];
    first = 3;
  }
  if (argc < first + 2) {
    std::fprintf(stderr, "usage: qf_bench_runner --machine | [--settle FILE] ROUNDS NAME=INSTALLER...\n");
    return 2;
  }
  const int rounds = static_cast<int>(std::wcstol(argv[first], nullptr, 10));
  // Each group is one installer, or a pair joined by "+".
  std::vector<std::vector<std::pair<std::string, std::wstring>>> groups;
  bool joined = false;
  for (int i = first + 1; i < argc; ++i) {
    const std::wstring job = argv[i];
    if (job == L"+") {
      if (groups.empty() || groups.back().size() != 1) return 2;
      joined = true;
      continue;
    }
    const auto eq = job.find(L'=');
    if (eq == std::wstring::npos) return 2;
    if (!joined) groups.emplace_back();
    groups.back().emplace_back(Narrow(job.substr(0, eq)), job.substr(eq + 1));
    joined = false;
  }
  if (joined) return 2;
  ::SetEnvironmentVariableW(L"QF_TEST_TIMES", L"1");
  ::SetEnvironmentVariableW(L"QF_TEST_EXIT_CODE", L"0");
  // A window of this process keeps Wine's desktop up between runs.
  const HWND keeper = ::CreateWindowExW(0, L"STATIC", L"qf-bench", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  for (int round = 0; round <= rounds; ++round) {
    for (auto& group : groups) {
      if (round > 0 && group.size() == 2) std::swap(group[0], group[1]);
      for (const auto& [name, installer] : group) {
        if (!settle.empty()) Settle(settle, installer);
        RunOnce(name, installer, round);
      }
    }
  }
  if (keeper != nullptr) ::DestroyWindow(keeper);
  return 0;
}
