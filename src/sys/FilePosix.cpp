// POSIX file layer: the same contract as the Windows one, so that the package
// core and its tests run natively. "\" is the separator of the system's paths
// and becomes "/" here.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>

#include "sys/File.h"
#include "sys/Path.h"
#include "sys/Text.h"

namespace qf::sys {
namespace {

bool g_pathLimitLifted = false;

std::optional<std::string> NativePath(std::u16string_view path) {
  if (g_pathLimitLifted ? path.empty() : !PathFits(path)) return std::nullopt;
  auto utf8 = Utf16ToUtf8(path);
  if (!utf8) return std::nullopt;
  for (char& c : *utf8) {
    if (c == '\\') c = '/';
  }
  return utf8;
}

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

File File::OpenRead(std::u16string_view path) {
  const auto native = NativePath(path);
  if (!native) return File();
  // Opening a FIFO for reading would wait for a writer: open without waiting,
  // refuse what is not a regular file, then read normally.
  const int fd = ::open(native->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return File();
  struct stat info {};
  const int flags = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return File();
  }
  return File(fd);
}

File File::CreateNew(std::u16string_view path) {
  const auto native = NativePath(path);
  if (!native) return File();
  const int fd = ::open(native->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  return fd < 0 ? File() : File(fd);
}

File File::CreateWrite(std::u16string_view path) {
  const auto native = NativePath(path);
  if (!native) return File();
  // Windows refuses to replace a read-only file even for an administrator;
  // root here would not be stopped by the permission bits, so check them.
  struct stat info {};
  if (::stat(native->c_str(), &info) == 0 && (!S_ISREG(info.st_mode) || (info.st_mode & S_IWUSR) == 0)) {
    return File();
  }
  const int fd = ::open(native->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd < 0 ? File() : File(fd);
}

bool File::IsOpen() const { return m_fd >= 0; }

bool File::SeekFromEnd(uint64_t distance) {
  const auto size = Size();
  if (!size || distance > *size) return false;
  return SeekTo(*size - distance);
}

bool File::SeekTo(uint64_t position) {
  if (!IsOpen() || position > static_cast<uint64_t>(LLONG_MAX)) return false;
  return ::lseek(m_fd, static_cast<off_t>(position), SEEK_SET) >= 0;
}

int64_t File::Read(void* buffer, uint32_t count) {
  if (!IsOpen()) return -1;
  auto* bytes = static_cast<unsigned char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    const ssize_t got = ::read(m_fd, bytes + total, count - total);
    if (got < 0) return -1;
    if (got == 0) break;
    total += static_cast<uint32_t>(got);
  }
  return total;
}

bool File::WriteAll(const void* buffer, std::size_t count) {
  if (!IsOpen()) return false;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t total = 0;
  while (total < count) {
    const ssize_t put = ::write(m_fd, bytes + total, count - total);
    if (put <= 0) return false;
    total += static_cast<std::size_t>(put);
  }
  return true;
}

int64_t File::CopyFrom(File& source, uint32_t count, unsigned char* buffer, uint32_t bufferBytes) {
  if (!IsOpen() || !source.IsOpen()) return -1;
  // The kernel copies between the two files without a trip through this
  // process; where it cannot (another file system, an old kernel), the buffer does.
  const ssize_t copied = ::copy_file_range(source.m_fd, nullptr, m_fd, nullptr, count, 0);
  if (copied >= 0) return copied;
  if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return -1;
  const int64_t got = source.Read(buffer, count < bufferBytes ? count : bufferBytes);
  if (got <= 0) return got;
  return WriteAll(buffer, static_cast<std::size_t>(got)) ? got : -1;
}

std::optional<uint64_t> File::Size() const {
  struct stat info {};
  if (!IsOpen() || ::fstat(m_fd, &info) != 0) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

void File::Close() {
  if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
}

void LiftPathLimit() { g_pathLimitLifted = true; }

bool MakeDirectory(std::u16string_view path) {
  const auto native = NativePath(path);
  return native && ::mkdir(native->c_str(), 0755) == 0;
}

bool RemoveFile(std::u16string_view path) {
  const auto native = NativePath(path);
  return native && ::unlink(native->c_str()) == 0;
}

bool RemoveEmptyDirectory(std::u16string_view path) {
  const auto native = NativePath(path);
  return native && ::rmdir(native->c_str()) == 0;
}

bool SetReadOnly(std::u16string_view path, bool readOnly) {
  const auto native = NativePath(path);
  struct stat info {};
  if (!native || ::stat(native->c_str(), &info) != 0) return false;
  const mode_t mode = readOnly ? (info.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (info.st_mode | S_IWUSR);
  return ::chmod(native->c_str(), mode) == 0;
}

std::u16string ExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  auto path = Utf8ToUtf16(std::string_view(buffer, static_cast<std::size_t>(length)));
  if (!path || (!g_pathLimitLifted && !PathFits(*path))) return {};
  return *path;
}

}  // namespace qf::sys
