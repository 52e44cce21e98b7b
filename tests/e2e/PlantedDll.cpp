// A DLL planted beside the stub under a system DLL's name. If it is ever
// loaded it writes a marker file named by QF_TEST_PLANT_MARKER. Built without
// the C runtime so that loading it has no other effect.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"QF_TEST_PLANT_MARKER", path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
  }
  return TRUE;
}

// The name the planted DLL must export for loaders that resolve it by import.
extern "C" __declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID) { return FALSE; }
