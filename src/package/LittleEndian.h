#pragma once

// Every integer of the package, the stub's record and the PE headers is
// little-endian, whatever the host.

#include <bit>
#include <cstdint>
#include <cstring>

namespace qf::package {

inline uint16_t ReadLe16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// On a little-endian host one load; the payload digest reads every byte of a
// package through it, and a compiler optimising for size does not see that
// the four byte loads below are one.
inline uint32_t ReadLe32(const unsigned char* p) {
  if constexpr (std::endian::native == std::endian::little) {
    uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
  }
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline void PutLe32(unsigned char* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace qf::package
