#include "app/FileLogSink.h"

#include "run/LogTarget.h"
#include "sys/File.h"
#include "sys/Text.h"
#include "sys/Unique.h"

namespace qf {
namespace {

// "2026-12-07 04:55:01.123 "
std::string Timestamp() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  char text[] = "0000-00-00 00:00:00.000 ";
  // Each field's digits end where the next separator is; the day of the week is not shown.
  const struct {
    WORD SYSTEMTIME::*field;
    uint8_t end;
  } fields[] = {{&SYSTEMTIME::wYear, 4},         {&SYSTEMTIME::wMonth, 7},   {&SYSTEMTIME::wDay, 10},
                {&SYSTEMTIME::wHour, 13},        {&SYSTEMTIME::wMinute, 16}, {&SYSTEMTIME::wSecond, 19},
                {&SYSTEMTIME::wMilliseconds, 23}};
  for (const auto& [field, end] : fields) {
    unsigned value = now.*field;
    for (char* digit = text + end; digit != text && *--digit == '0'; value /= 10) {
      *digit = static_cast<char>('0' + value % 10);
    }
  }
  return text;
}

run::OpenFileFacts Facts(const BY_HANDLE_FILE_INFORMATION& file) {
  return {(file.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, file.dwVolumeSerialNumber, file.nFileIndexHigh,
          file.nFileIndexLow};
}

}  // namespace

FileLogSink::FileLogSink(const std::u16string& path) {
  ::InitializeCriticalSection(&m_lock);
  // Relative to the current folder, as the user typed it; appended to, never
  // emptied. A link at the path is opened itself, never followed. The stub's
  // own file is known by its identity, not by any of its names: Windows
  // refuses to write a running program, Wine does not.
  sys::UniqueFile file(::CreateFileW(sys::Wide(path), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                     FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  const sys::UniqueFile self(::CreateFileW(sys::Wide(sys::ExecutablePath()), 0,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION log{}, own{};
  if (::GetFileInformationByHandle(file.get(), &log) && ::GetFileInformationByHandle(self.get(), &own) &&
      run::MayAppendLog(Facts(log), Facts(own))) {
    m_file = std::move(file);
  }
}

FileLogSink::~FileLogSink() { ::DeleteCriticalSection(&m_lock); }

void FileLogSink::WriteLine(std::u16string_view line) {
  if (!m_file) return;
  std::string text = Timestamp();
  text += sys::Utf16ToUtf8Lossy(line);
  text += "\r\n";
  ::EnterCriticalSection(&m_lock);
  DWORD written = 0;
  ::WriteFile(m_file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::LeaveCriticalSection(&m_lock);
}

}  // namespace qf
