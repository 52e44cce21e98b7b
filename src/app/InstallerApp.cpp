#include "app/InstallerApp.h"

#include <commctrl.h>

#include "app/ProgressDialog.h"
#include "run/ExitCode.h"

namespace qf {
namespace {
constexpr wchar_t kMutexName[] = L"{CB62C436-C656-4fce-9D19-B95D6208C904}";
}

InstallerApp::~InstallerApp() {
  if (m_hMutex != nullptr) {
    ::CloseHandle(m_hMutex);
    m_hMutex = nullptr;
  }
}

uint32_t InstallerApp::InitInstance(HINSTANCE instance) {
  ::InitCommonControls();
  m_hMutex = ::CreateMutexW(nullptr, FALSE, kMutexName);
  if (::GetLastError() == ERROR_ALREADY_EXISTS) return run::kExitAnotherInstance;

  ProgressDialog dialog(instance);
  dialog.DoModal();
  return dialog.ExitCode();
}

void RestrictDllSearchToSystem32() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  // Older systems lack it; they get no restriction.
  const auto set = reinterpret_cast<SetDirectories>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (set != nullptr) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace qf
