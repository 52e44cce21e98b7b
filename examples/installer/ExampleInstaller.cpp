// The example's installer program. It does what a real one would start with:
// looks at its parameters and at the files it came with, then says what it
// found in report.txt in the folder it was started from, and ends with 0.
#include <windows.h>

#include <string>

namespace {

std::wstring Directory(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

void ListFiles(const std::wstring& root, const std::wstring& relative, std::wstring& out) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(root, relative + name + L"\\", out);
    } else {
      out += L"  " + relative + name + L"\r\n";
    }
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR parameters, int) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t current[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, current);
  std::wstring report = L"The example installer ran.\r\n";
  report += L"parameters: " + std::wstring(parameters) + L"\r\n";
  report += L"started from: " + Directory(self) + L"\r\n";
  report += L"files it came with:\r\n";
  ListFiles(Directory(self), L"", report);

  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, report.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes - 1 : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, report.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
  HANDLE file = ::CreateFileW((std::wstring(current) + L"\\report.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok ? 0 : 1;
}
