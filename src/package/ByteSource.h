#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "sys/File.h"

namespace qf::package {

// Where the package writer takes bytes from: a file streamed in chunks, or memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to `count` bytes; 0 at the end, -1 on error.
  virtual int64_t Read(void* buffer, uint32_t count) = 0;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(sys::File& file) : m_file(file) {}
  int64_t Read(void* buffer, uint32_t count) override { return m_file.Read(buffer, count); }

 private:
  sys::File& m_file;
};

// Where the package writer puts bytes.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all `count` bytes or fails.
  virtual bool Write(const void* buffer, std::size_t count) = 0;
  // Writes over bytes already written, at `position`; later writes go on at `end`.
  virtual bool WriteAt(uint64_t position, const void* buffer, std::size_t count, uint64_t end) = 0;
};

class FileSink final : public ByteSink {
 public:
  explicit FileSink(sys::File& file) : m_file(file) {}
  bool Write(const void* buffer, std::size_t count) override { return m_file.WriteAll(buffer, count); }
  bool WriteAt(uint64_t position, const void* buffer, std::size_t count, uint64_t end) override {
    return m_file.SeekTo(position) && m_file.WriteAll(buffer, count) && m_file.SeekTo(end);
  }

 private:
  sys::File& m_file;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const unsigned char> bytes) : m_bytes(bytes) {}
  int64_t Read(void* buffer, uint32_t count) override {
    const std::size_t n = count < m_bytes.size() ? count : m_bytes.size();
    if (n > 0) std::memcpy(buffer, m_bytes.data(), n);
    m_bytes = m_bytes.subspan(n);
    return static_cast<int64_t>(n);
  }

 private:
  std::span<const unsigned char> m_bytes;
};

}  // namespace qf::package
