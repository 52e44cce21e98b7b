#pragma once

// The checksum of a Windows executable, as signing tools and the loader (for
// drivers and system files) check it: the file's 16-bit little-endian words
// summed with the carry folded back in, the CheckSum field itself counted as
// zero, plus the file's length. It covers the whole file, package included.

#include <cstddef>
#include <cstdint>
#include <string>

#include "sys/File.h"

namespace qf::pack {

class PeChecksum {
 public:
  explicit PeChecksum(uint64_t fieldAt) : m_fieldAt(fieldAt) {}
  // The file's bytes, in order from its first.
  void Add(const unsigned char* bytes, std::size_t count);
  uint32_t Value() const;

 private:
  uint64_t m_fieldAt;
  uint64_t m_length = 0;
  uint64_t m_sum = 0;
};

// Reads the finished file at `path` and writes its checksum through `out`, the
// same file open for writing. Empty on success, else why not.
std::string StampChecksum(const std::u16string& path, sys::File& out, uint64_t fieldAt);

}  // namespace qf::pack
