#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qf::package {

// The digest algorithms of the stub's record. Both guard against damage (a bad
// download, a bad disk), not against tampering, which is what a signature is
// for.
inline constexpr uint32_t kDigestXxh32 = 1;  // XXH32 with seed 0: what builders before lane sums wrote
// Two running sums per 32-bit word lane of every 16 bytes, each 64 bits wide,
// mixed with the length at the end: two additions per word, two lanes to a
// register with SSE2 where the processor has it, which the copy hardly
// notices. The sums change with any change confined to one or two words of a
// lane; docs/format.md says what damage passes.
inline constexpr uint32_t kDigestLaneSums = 2;
// What this build's readers check, bit n for algorithm n; the stub announces it in its record.
inline constexpr uint32_t kDigestAlgorithmsChecked = (1u << kDigestXxh32) | (1u << kDigestLaneSums);

// The name the tools and the log give an algorithm: "unknown" for one this
// build does not check, empty for none.
std::u16string_view DigestName(uint32_t algorithm);

// The digest the builder records for every entry and for the table, and the
// stub checks while it copies.
class PayloadDigest {
 public:
  // Portable: without vector instructions, for the same value.
  enum class Path { Fastest, Portable };

  explicit PayloadDigest(uint32_t algorithm, Path path = Path::Fastest) : m_algorithm(algorithm), m_path(path) {}
  void Add(const unsigned char* data, std::size_t size);
  uint32_t Value() const;

  static bool Knows(uint32_t algorithm) { return algorithm < 32 && (kDigestAlgorithmsChecked >> algorithm & 1) != 0; }
  static uint32_t Of(uint32_t algorithm, const unsigned char* data, std::size_t size);

 private:
  static constexpr uint32_t kStripeBytes = 16;
  struct Sums {
    uint64_t all[8] = {};  // per lane the words (a), then per lane the running a after each stripe (b)
    uint64_t* a() { return all; }
    uint64_t* b() { return all + 4; }
  };
  void AddStripes(const unsigned char* data, std::size_t stripes);
  static void AddSums(Sums& sums, const unsigned char* data, std::size_t stripes, Path path);

  uint32_t m_algorithm;
  Path m_path;
  uint32_t m_lane[4] = {0x24234428u, 0x85EBCA77u, 0u, 0x61C8864Fu};  // XXH32: seed 0 and the primes
  Sums m_sums;
  uint64_t m_total = 0;
  bool m_wholeStripe = false;
  unsigned char m_pending[kStripeBytes] = {};
  uint32_t m_pendingBytes = 0;
};

}  // namespace qf::package
