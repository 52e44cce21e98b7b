// The floor of the benchmark: the least a Windows program must do to extract
// a package. It reads the package's table, then copies every entry into one
// folder through one buffer of the stub's chunk size, from the last entry to
// the first as the stub does, and ends. No window, no checks, no digest, no
// workspace, no installer program, no cleanup.
//
//   qf_bench_floor PACKAGE FOLDER     exit code 0, or 1 when anything failed
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <array>
#include <string>

#include "package/PackageFormat.h"
#include "package/PackageReader.h"

namespace {

std::array<unsigned char, qf::package::kCopyChunkBytes> g_chunk;

bool Copy(HANDLE package, const qf::PackageEntry& entry, const std::wstring& folder) {
  LARGE_INTEGER at;
  at.QuadPart = entry.offset;
  if (!::SetFilePointerEx(package, at, nullptr, FILE_BEGIN)) return false;
  const std::wstring path = folder + L"\\" + std::wstring(entry.name.begin(), entry.name.end());
  const HANDLE target =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (target == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (uint32_t left = entry.size; ok && left > 0;) {
    const DWORD want = left < g_chunk.size() ? left : static_cast<DWORD>(g_chunk.size());
    DWORD got = 0;
    DWORD put = 0;
    ok = ::ReadFile(package, g_chunk.data(), want, &got, nullptr) && got == want &&
         ::WriteFile(target, g_chunk.data(), got, &put, nullptr) && put == got;
    left -= want;
  }
  ::CloseHandle(target);
  return ok;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (arguments == nullptr || count != 3) return 2;
  const std::wstring packagePath = arguments[1];
  const std::wstring folder = arguments[2];
  const std::u16string path(packagePath.begin(), packagePath.end());
  qf::PackageReader reader(path);
  if (reader.LoadTable(path) != qf::ResultCode::Success) return 1;
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const HANDLE package = ::CreateFileW(packagePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
  if (package == INVALID_HANDLE_VALUE) return 1;
  bool ok = true;
  for (int32_t index = reader.GetEntryCount() - 1; ok && index >= 0; --index)
    ok = Copy(package, reader.GetEntry(index), folder);
  ::CloseHandle(package);
  return ok ? 0 : 1;
}
