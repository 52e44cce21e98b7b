#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qf::sys {

// A file opened through the operating system, owned by this object and closed
// by its destructor. Every file of the system is shared for reading and writing
// with other handles, as the running executable must be readable while it runs.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // An existing file, for reading only.
  static File OpenRead(std::u16string_view path);
  // Creates the file, or empties an existing one, for writing with normal
  // attributes. A read-only file is refused, as Windows refuses it.
  static File CreateWrite(std::u16string_view path);
  // Creates a file that must not exist yet, never through a link: fails when
  // anything, a link included, has the name.
  static File CreateNew(std::u16string_view path);

  bool IsOpen() const;
  explicit operator bool() const { return IsOpen(); }

  // Moves to `distance` bytes before the end; fails when that lies in front of
  // the file's start.
  bool SeekFromEnd(uint64_t distance);
  bool SeekTo(uint64_t position);
  // Reads up to `count` bytes; returns the number read (0 at the end), or -1 on error.
  int64_t Read(void* buffer, uint32_t count);
  // Writes all `count` bytes or fails.
  bool WriteAll(const void* buffer, std::size_t count);
  // Copies up to `count` bytes from `source`'s position to this file's,
  // through `buffer` where the system cannot copy between files itself.
  // Returns the number copied (0 at the source's end), or -1 when a read or
  // a write failed.
  int64_t CopyFrom(File& source, uint32_t count, unsigned char* buffer, uint32_t bufferBytes);
  std::optional<uint64_t> Size() const;
  void Close();

 private:
#ifdef _WIN32
  void* m_handle = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
  explicit File(void* handle) : m_handle(handle) {}
#else
  int m_fd = -1;
  explicit File(int fd) : m_fd(fd) {}
#endif
};

// Creates one directory level; false when it could not be created (it may exist).
bool MakeDirectory(std::u16string_view path);
bool RemoveFile(std::u16string_view path);
bool RemoveEmptyDirectory(std::u16string_view path);
// Sets or clears the read-only attribute (on POSIX: the owner's write permission).
bool SetReadOnly(std::u16string_view path, bool readOnly);
// The 259-unit limit belongs to the stub's buffers on Windows; the tools on
// other systems call this once to take any path their system takes.
void LiftPathLimit();
// Full path of the running executable; empty when it does not fit 259 units.
std::u16string ExecutablePath();

}  // namespace qf::sys
