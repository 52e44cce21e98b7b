#pragma once

#include <windows.h>

#include <cstdint>

namespace qf {

// The application: refuses to run beside a second copy of itself, then runs
// the progress dialog modally. Holds only the single-instance mutex.
class InstallerApp {
 public:
  InstallerApp() = default;
  ~InstallerApp();
  InstallerApp(const InstallerApp&) = delete;
  InstallerApp& operator=(const InstallerApp&) = delete;

  // Runs the stub; returns the process exit code.
  uint32_t InitInstance(HINSTANCE instance);

 private:
  HANDLE m_hMutex = nullptr;
};

// Keeps every later DLL load in System32: the stub usually runs from a
// Downloads folder, beside files it does not control.
void RestrictDllSearchToSystem32();  // before any other DLL is loaded: only kernel32 is imported at start-up

}  // namespace qf
