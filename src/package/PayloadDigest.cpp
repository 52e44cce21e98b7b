#include "package/PayloadDigest.h"

#include <atomic>
#include <cstring>

#include "package/LittleEndian.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#define QF_DIGEST_SSE2 1
#endif
#if defined(__i386__) && !defined(__SSE2__)
#include <cpuid.h>
#endif

namespace qf::package {
namespace {

constexpr uint32_t kPrime1 = 0x9E3779B1u;
constexpr uint32_t kPrime2 = 0x85EBCA77u;
constexpr uint32_t kPrime3 = 0xC2B2AE3Du;
constexpr uint32_t kPrime4 = 0x27D4EB2Fu;
constexpr uint32_t kPrime5 = 0x165667B1u;

constexpr uint32_t Rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

uint32_t Round(uint32_t lane, uint32_t input) { return Rotl(lane + input * kPrime2, 13) * kPrime1; }

// XXH32's last step, a bijection in which every bit of the input reaches every
// bit of the output.
uint32_t Avalanche(uint32_t h) {
  h ^= h >> 15;
  h *= kPrime2;
  h ^= h >> 13;
  h *= kPrime3;
  return h ^ (h >> 16);
}

#ifdef QF_DIGEST_SSE2
// The lanes kept as (a0, a2) and (a1, a3): the words of lanes 0 and 2 are the
// low halves of a 16-byte load read as two 64-bit numbers, those of 1 and 3
// the high halves.
__attribute__((target("sse2"))) void AddSumsSse2(uint64_t (&sums)[8], const unsigned char* data, std::size_t stripes) {
  auto* const a01 = reinterpret_cast<__m128i*>(sums);
  auto* const b01 = a01 + 2;
  __m128i aEven = _mm_unpacklo_epi64(_mm_loadu_si128(a01), _mm_loadu_si128(a01 + 1));
  __m128i aOdd = _mm_unpackhi_epi64(_mm_loadu_si128(a01), _mm_loadu_si128(a01 + 1));
  __m128i bEven = _mm_unpacklo_epi64(_mm_loadu_si128(b01), _mm_loadu_si128(b01 + 1));
  __m128i bOdd = _mm_unpackhi_epi64(_mm_loadu_si128(b01), _mm_loadu_si128(b01 + 1));
  const __m128i low = _mm_srli_epi64(_mm_cmpeq_epi32(aEven, aEven), 32);
  for (; stripes > 0; --stripes, data += 16) {
    const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
    aEven = _mm_add_epi64(aEven, _mm_and_si128(words, low));
    aOdd = _mm_add_epi64(aOdd, _mm_srli_epi64(words, 32));
    bEven = _mm_add_epi64(bEven, aEven);
    bOdd = _mm_add_epi64(bOdd, aOdd);
  }
  _mm_storeu_si128(a01, _mm_unpacklo_epi64(aEven, aOdd));
  _mm_storeu_si128(a01 + 1, _mm_unpackhi_epi64(aEven, aOdd));
  _mm_storeu_si128(b01, _mm_unpacklo_epi64(bEven, bOdd));
  _mm_storeu_si128(b01 + 1, _mm_unpackhi_epi64(bEven, bOdd));
}

// Asked once: a processor's answer does not change while the stub runs.
bool HasSse2() {
#if defined(__x86_64__) || defined(__SSE2__)
  return true;
#else
  static std::atomic<int> known{-1};
  int answer = known.load(std::memory_order_relaxed);
  if (answer < 0) {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    answer = __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & bit_SSE2) != 0;
    known.store(answer, std::memory_order_relaxed);
  }
  return answer != 0;
#endif
}
#endif

}  // namespace

std::u16string_view DigestName(uint32_t algorithm) {
  switch (algorithm) {
    case kDigestXxh32:
      return u"XXH32";
    case kDigestLaneSums:
      return u"lane sums";
    case 0:
      return {};
  }
  return u"unknown";
}

uint32_t PayloadDigest::Of(uint32_t algorithm, const unsigned char* data, std::size_t size) {
  PayloadDigest digest(algorithm);
  digest.Add(data, size);
  return digest.Value();
}

void PayloadDigest::AddSums(Sums& sums, const unsigned char* data, std::size_t stripes, Path path) {
#ifdef QF_DIGEST_SSE2
  if (path == Path::Fastest && HasSse2()) return AddSumsSse2(sums.all, data, stripes);
#else
  (void)path;
#endif
  for (; stripes > 0; --stripes, data += kStripeBytes) {
    for (int lane = 0; lane < 4; ++lane) {
      sums.a()[lane] += ReadLe32(data + 4 * lane);
      sums.b()[lane] += sums.a()[lane];
    }
  }
}

void PayloadDigest::AddStripes(const unsigned char* data, std::size_t stripes) {
  if (m_algorithm == kDigestLaneSums) return AddSums(m_sums, data, stripes, m_path);
  for (; stripes > 0; --stripes, data += kStripeBytes) {
    for (int lane = 0; lane < 4; ++lane) m_lane[lane] = Round(m_lane[lane], ReadLe32(data + 4 * lane));
  }
}

void PayloadDigest::Add(const unsigned char* data, std::size_t size) {
  m_total += size;
  if (m_pendingBytes + size < kStripeBytes) {
    if (size > 0) std::memcpy(m_pending + m_pendingBytes, data, size);
    m_pendingBytes += static_cast<uint32_t>(size);
    return;
  }
  m_wholeStripe = true;
  if (m_pendingBytes > 0) {
    const std::size_t fill = kStripeBytes - m_pendingBytes;
    std::memcpy(m_pending + m_pendingBytes, data, fill);
    AddStripes(m_pending, 1);
    data += fill;
    size -= fill;
  }
  AddStripes(data, size / kStripeBytes);
  m_pendingBytes = static_cast<uint32_t>(size % kStripeBytes);
  if (m_pendingBytes > 0) std::memcpy(m_pending, data + (size - m_pendingBytes), m_pendingBytes);
}

uint32_t PayloadDigest::Value() const {
  if (m_algorithm == kDigestLaneSums) {
    // The last, partial stripe counts as one padded with zeros; the length tells them apart.
    Sums sums = m_sums;
    unsigned char last[kStripeBytes] = {};
    std::memcpy(last, m_pending, m_pendingBytes);
    if (m_pendingBytes > 0) AddSums(sums, last, 1, Path::Portable);
    // The length and every sum, 32 bits at a time, each through the mix: two
    // runs that differ in one of these words alone always differ in the end.
    uint32_t h = Avalanche(kPrime5 ^ static_cast<uint32_t>(m_total));
    h = Avalanche(h ^ static_cast<uint32_t>(m_total >> 32));
    for (const uint64_t sum : sums.all)
      h = Avalanche(Avalanche(h ^ static_cast<uint32_t>(sum)) ^ static_cast<uint32_t>(sum >> 32));
    return h;
  }
  uint32_t h = m_wholeStripe ? Rotl(m_lane[0], 1) + Rotl(m_lane[1], 7) + Rotl(m_lane[2], 12) + Rotl(m_lane[3], 18)
                             : m_lane[2] + kPrime5;
  h += static_cast<uint32_t>(m_total);
  const unsigned char* p = m_pending;
  uint32_t left = m_pendingBytes;
  for (; left >= 4; p += 4, left -= 4) h = Rotl(h + ReadLe32(p) * kPrime3, 17) * kPrime4;
  for (; left > 0; ++p, --left) h = Rotl(h + *p * kPrime5, 11) * kPrime1;
  return Avalanche(h);
}

}  // namespace qf::package
