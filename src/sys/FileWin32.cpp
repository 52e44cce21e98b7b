#include <windows.h>

#include <utility>

#include "sys/File.h"
#include "sys/Path.h"
#include "sys/Unique.h"

namespace qf::sys {
namespace {

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The layer's own limit comes first, so that a long path fails the same way
// whatever the system would accept.
bool Fits(std::u16string_view path, std::u16string& terminated) {
  if (!PathFits(path)) return false;
  terminated.assign(path);
  return true;
}

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept : m_handle(std::exchange(other.m_handle, INVALID_HANDLE_VALUE)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    m_handle = std::exchange(other.m_handle, INVALID_HANDLE_VALUE);
  }
  return *this;
}

File File::OpenRead(std::u16string_view path) {
  std::u16string text;
  if (!Fits(path, text)) return File();
  HANDLE h =
      ::CreateFileW(Wide(text), GENERIC_READ, kShareReadWrite, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return File(h);
}

File File::CreateNew(std::u16string_view path) {
  std::u16string text;
  if (!Fits(path, text)) return File();
  // CREATE_NEW fails on any existing name, a link included.
  return File(
      ::CreateFileW(Wide(text), GENERIC_WRITE, kShareReadWrite, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

File File::CreateWrite(std::u16string_view path) {
  std::u16string text;
  if (!Fits(path, text)) return File();
  // Windows refuses to replace a read-only file; Wine running as root would not.
  const DWORD attributes = ::GetFileAttributesW(Wide(text));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return File();
  // A new file is made as new; only an existing one is emptied. Emptying is a
  // truncation, after which ext4 (under Wine) writes the file out as soon as it
  // is closed; a workspace file is deleted again soon, best before it reaches the disk.
  HANDLE h =
      ::CreateFileW(Wide(text), GENERIC_WRITE, kShareReadWrite, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS) {
    h = ::CreateFileW(Wide(text), GENERIC_WRITE, kShareReadWrite, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                      nullptr);
  }
  return File(h);
}

bool File::IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

bool File::SeekFromEnd(uint64_t distance) {
  const auto size = Size();
  if (!size || distance > *size) return false;
  return SeekTo(*size - distance);
}

bool File::SeekTo(uint64_t position) {
  if (!IsOpen() || position > static_cast<uint64_t>(INT64_MAX)) return false;
  LARGE_INTEGER target;
  target.QuadPart = static_cast<LONGLONG>(position);
  return ::SetFilePointerEx(m_handle, target, nullptr, FILE_BEGIN) != 0;
}

int64_t File::Read(void* buffer, uint32_t count) {
  if (!IsOpen()) return -1;
  auto* bytes = static_cast<unsigned char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    DWORD got = 0;
    if (!::ReadFile(m_handle, bytes + total, count - total, &got, nullptr)) return -1;
    if (got == 0) break;
    total += got;
  }
  return total;
}

bool File::WriteAll(const void* buffer, std::size_t count) {
  if (!IsOpen()) return false;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  while (count > 0) {
    const DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    DWORD put = 0;
    if (!::WriteFile(m_handle, bytes, chunk, &put, nullptr) || put == 0) return false;
    bytes += put;
    count -= put;
  }
  return true;
}

int64_t File::CopyFrom(File& source, uint32_t count, unsigned char* buffer, uint32_t bufferBytes) {
  const int64_t got = source.Read(buffer, count < bufferBytes ? count : bufferBytes);
  if (got <= 0) return got;
  return WriteAll(buffer, static_cast<std::size_t>(got)) ? got : -1;
}

std::optional<uint64_t> File::Size() const {
  LARGE_INTEGER size;
  if (!IsOpen() || !::GetFileSizeEx(m_handle, &size)) return std::nullopt;
  return static_cast<uint64_t>(size.QuadPart);
}

void File::Close() {
  if (m_handle != INVALID_HANDLE_VALUE) ::CloseHandle(std::exchange(m_handle, INVALID_HANDLE_VALUE));
}

// Without the "\\?\" prefix Windows itself stops at 259 units: the limit stays.
void LiftPathLimit() {}

bool MakeDirectory(std::u16string_view path) {
  std::u16string text;
  return Fits(path, text) && ::CreateDirectoryW(Wide(text), nullptr) != 0;
}

bool RemoveFile(std::u16string_view path) {
  std::u16string text;
  return Fits(path, text) && ::DeleteFileW(Wide(text)) != 0;
}

bool RemoveEmptyDirectory(std::u16string_view path) {
  std::u16string text;
  return Fits(path, text) && ::RemoveDirectoryW(Wide(text)) != 0;
}

bool SetReadOnly(std::u16string_view path, bool readOnly) {
  std::u16string text;
  if (!Fits(path, text)) return false;
  const DWORD attributes = ::GetFileAttributesW(Wide(text));
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  DWORD updated = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY) : (attributes & ~FILE_ATTRIBUTE_READONLY);
  if (updated == 0) updated = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileAttributesW(Wide(text), updated) != 0;
}

std::u16string ExecutablePath() {
  wchar_t buffer[kMaxPathUnits];
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer, kMaxPathUnits);
  // A path that fills the whole buffer was cut: the package cannot be opened by it.
  if (length == 0 || length >= kMaxPathUnits) return {};
  return FromWide(buffer, length);
}

}  // namespace qf::sys
