// The stub's entry point and composition root: the single-instance guard, the
// run object and the dialog that shows it. The command line is not examined.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "app/InstallerRun.h"
#include "app/ProgressDialog.h"
#include "run/ExitCode.h"
#include "sys/Unique.h"

namespace {

constexpr wchar_t kMutexName[] = L"{CB62C436-C656-4fce-9D19-B95D6208C904}";

// Keeps every later DLL load in System32: the stub usually runs from a
// Downloads folder, beside files it does not control. Runs before any other
// DLL is loaded: only kernel32 is imported at start-up.
void RestrictDllSearchToSystem32() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  // Older systems lack it; they get no restriction.
  const auto set = reinterpret_cast<SetDirectories>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (set != nullptr) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  RestrictDllSearchToSystem32();
  ::InitCommonControls();
  const HANDLE created = ::CreateMutexW(nullptr, FALSE, kMutexName);
  const DWORD error = ::GetLastError();
  // Held, never waited on, until the process ends: only its existence matters.
  const qf::sys::UniqueHandle mutex(created);
  if (error == ERROR_ALREADY_EXISTS) return static_cast<int>(qf::run::kExitAnotherInstance);

  qf::InstallerRun run;
  {
    qf::ProgressDialog dialog(instance, run);
    dialog.DoModal();
  }
  run.Finish();
  return static_cast<int>(run.ExitCode());
}
