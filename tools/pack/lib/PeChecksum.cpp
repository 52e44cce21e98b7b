#include "pack/lib/PeChecksum.h"

#include <vector>

#include "pack/lib/SafeOutput.h"
#include "package/LittleEndian.h"

namespace qf::pack {
namespace {
constexpr uint32_t kFieldBytes = 4;
constexpr uint32_t kChunkBytes = 1 << 20;
}  // namespace

void PeChecksum::Add(const unsigned char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, ++m_length) {
    if (m_length - m_fieldAt < kFieldBytes) continue;
    m_sum += uint64_t{bytes[i]} << (8 * (m_length & 1));
  }
}

uint32_t PeChecksum::Value() const {
  uint64_t sum = m_sum;
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + m_length);
}

std::string StampChecksum(const std::u16string& path, sys::File& out, uint64_t fieldAt) {
  sys::File in = sys::File::OpenRead(path);
  if (!in) return LastSystemError();
  PeChecksum checksum(fieldAt);
  std::vector<unsigned char> chunk(kChunkBytes);
  for (;;) {
    const int64_t got = in.Read(chunk.data(), kChunkBytes);
    if (got < 0) return LastSystemError();
    if (got == 0) break;
    checksum.Add(chunk.data(), static_cast<std::size_t>(got));
  }
  unsigned char field[kFieldBytes];
  package::PutLe32(field, checksum.Value());
  const auto end = out.Size();
  if (!end || !out.SeekTo(fieldAt) || !out.WriteAll(field, sizeof field) || !out.SeekTo(*end)) return LastSystemError();
  return {};
}

}  // namespace qf::pack
