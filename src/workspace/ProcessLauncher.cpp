#include "workspace/ProcessLauncher.h"

#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include "sys/Unique.h"
#include "workspace/EntryPoint.h"

namespace qf {
namespace {

using NtQueryInformationProcessFunction = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
using RtlNtStatusToDosErrorFunction = ULONG(NTAPI*)(NTSTATUS);

constexpr wchar_t kOpenVerb[] = L"open";
constexpr DWORD kNoWait = 0;

}  // namespace

std::optional<sys::UniqueHandle> ProcessLauncher::LaunchProgram(const std::u16string& file,
                                                                const std::u16string& parameters) const {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = nullptr;
  info.lpVerb = kOpenVerb;
  info.lpFile = sys::Wide(file);
  info.lpParameters = sys::Wide(parameters);
  info.lpDirectory = nullptr;
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) return std::nullopt;
  return sys::UniqueHandle(info.hProcess);
}

DWORD ProcessLauncher::GetProcessIdFromHandle(HANDLE process) const {
  // ntdll is in every process; it is looked up, never loaded by name.
  const auto toDosError = LoadedEntryPoint<RtlNtStatusToDosErrorFunction>(L"ntdll.dll", "RtlNtStatusToDosError");
  const auto query = LoadedEntryPoint<NtQueryInformationProcessFunction>(L"ntdll.dll", "NtQueryInformationProcess");
  if (toDosError == nullptr || query == nullptr) return 0;

  sys::UniqueHandle duplicate;
  if (!::DuplicateHandle(::GetCurrentProcess(), process, ::GetCurrentProcess(), duplicate.put(),
                         PROCESS_QUERY_INFORMATION, FALSE, 0)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  PROCESS_BASIC_INFORMATION basic{};
  const NTSTATUS status = query(duplicate.get(), ProcessBasicInformation, &basic, sizeof(basic), nullptr);
  duplicate.reset();
  if (!NT_SUCCESS(status)) {
    ::SetLastError(toDosError(status));
    return 0;
  }
  return static_cast<DWORD>(basic.UniqueProcessId);
}

bool ProcessLauncher::IsProcessRunning(DWORD processId) const {
  sys::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == processId) return true;
  }
  return false;
}

bool ProcessLauncher::InstallerHasEnded(HANDLE process, DWORD processId) const {
  if (processId != 0) return !IsProcessRunning(processId);
  if (process == nullptr) return true;
  // A handle that cannot be waited on will never tell: the wait ends.
  return ::WaitForSingleObject(process, kNoWait) != WAIT_TIMEOUT;
}

}  // namespace qf
