#include <windows.h>

#include "app/InstallerApp.h"

namespace {
qf::InstallerApp theApp;
}

// The command line is not examined.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  qf::RestrictDllSearchToSystem32();
  return static_cast<int>(theApp.InitInstance(instance));
}
