// The control for the planted-DLL test: a program that loads "version.dll" by
// its bare name with no search restriction, so the planted copy beside it is
// picked up. It proves the test can see a load when one happens.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return ::LoadLibraryW(L"version.dll") != nullptr ? 0 : 1; }
