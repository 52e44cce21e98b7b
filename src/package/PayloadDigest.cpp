#include "package/PayloadDigest.h"

#include <cstring>

#include "package/LittleEndian.h"

namespace qf::package {
namespace {

constexpr uint32_t kPrime1 = 0x9E3779B1u;
constexpr uint32_t kPrime2 = 0x85EBCA77u;
constexpr uint32_t kPrime3 = 0xC2B2AE3Du;
constexpr uint32_t kPrime4 = 0x27D4EB2Fu;
constexpr uint32_t kPrime5 = 0x165667B1u;

constexpr uint32_t Rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

uint32_t Round(uint32_t lane, uint32_t input) { return Rotl(lane + input * kPrime2, 13) * kPrime1; }

}  // namespace

void PayloadDigest::AddStripe(const unsigned char* stripe) {
  for (int i = 0; i < 4; ++i) m_lane[i] = Round(m_lane[i], ReadLe32(stripe + 4 * i));
}

void PayloadDigest::Add(const unsigned char* data, std::size_t size) {
  m_total += static_cast<uint32_t>(size);
  if (m_pendingBytes + size < kStripeBytes) {
    if (size > 0) std::memcpy(m_pending + m_pendingBytes, data, size);
    m_pendingBytes += static_cast<uint32_t>(size);
    return;
  }
  m_wholeStripe = true;
  if (m_pendingBytes > 0) {
    const std::size_t fill = kStripeBytes - m_pendingBytes;
    std::memcpy(m_pending + m_pendingBytes, data, fill);
    AddStripe(m_pending);
    data += fill;
    size -= fill;
    m_pendingBytes = 0;
  }
  uint32_t a = m_lane[0], b = m_lane[1], c = m_lane[2], d = m_lane[3];
  for (; size >= kStripeBytes; data += kStripeBytes, size -= kStripeBytes) {
    a = Round(a, ReadLe32(data));
    b = Round(b, ReadLe32(data + 4));
    c = Round(c, ReadLe32(data + 8));
    d = Round(d, ReadLe32(data + 12));
  }
  m_lane[0] = a, m_lane[1] = b, m_lane[2] = c, m_lane[3] = d;
  if (size > 0) std::memcpy(m_pending, data, size);
  m_pendingBytes = static_cast<uint32_t>(size);
}

uint32_t PayloadDigest::Value() const {
  uint32_t h = m_wholeStripe ? Rotl(m_lane[0], 1) + Rotl(m_lane[1], 7) + Rotl(m_lane[2], 12) + Rotl(m_lane[3], 18)
                             : m_lane[2] + kPrime5;
  h += m_total;
  const unsigned char* p = m_pending;
  uint32_t left = m_pendingBytes;
  for (; left >= 4; p += 4, left -= 4) h = Rotl(h + ReadLe32(p) * kPrime3, 17) * kPrime4;
  for (; left > 0; ++p, --left) h = Rotl(h + *p * kPrime5, 11) * kPrime1;
  h ^= h >> 15;
  h *= kPrime2;
  h ^= h >> 13;
  h *= kPrime3;
  h ^= h >> 16;
  return h;
}

}  // namespace qf::package
