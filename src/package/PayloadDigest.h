#pragma once

#include <cstddef>
#include <cstdint>

namespace qf::package {

// The digest the builder records for every entry and for the table, and the
// stub checks while it copies: XXH32 with seed 0. It guards against damage (a
// bad download, a bad disk), not against tampering, which is what a signature
// is for; it was chosen for its speed in a 32-bit program, where it runs on
// 32-bit multiplies and rotations with four independent lanes.
class PayloadDigest {
 public:
  void Add(const unsigned char* data, std::size_t size);
  uint32_t Value() const;

  static uint32_t Of(const unsigned char* data, std::size_t size) {
    PayloadDigest digest;
    digest.Add(data, size);
    return digest.Value();
  }

 private:
  static constexpr uint32_t kStripeBytes = 16;
  void AddStripe(const unsigned char* stripe);

  uint32_t m_lane[4] = {0x24234428u, 0x85EBCA77u, 0u, 0x61C8864Fu};  // seed 0 and the primes
  uint32_t m_total = 0;  // the length modulo 2^32, as the digest folds it in
  bool m_wholeStripe = false;
  unsigned char m_pending[kStripeBytes] = {};
  uint32_t m_pendingBytes = 0;
};

}  // namespace qf::package
