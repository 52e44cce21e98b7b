#include "package/StubRecord.h"

#include <cstring>

#include "package/LittleEndian.h"
#include "package/PayloadDigest.h"

namespace qf::package {
std::optional<StubRecord> ParseStubRecord(const unsigned char* bytes) {
  const unsigned char* layout = bytes;
  StubRecord record;
  std::memcpy(record.product, layout, 16);
  std::memcpy(record.version, layout + 16, 16);
  if (record.Product() != kProductName || (layout[34] | (layout[35] << 8)) != kStubRecordLayout) return std::nullopt;
  record.machine = static_cast<uint16_t>(layout[32] | (layout[33] << 8));
  record.algorithm = ReadLe32(layout + kDigestFieldsAt);
  record.digestsAt = ReadLe32(layout + 40);
  record.entryCount = ReadLe32(layout + 44);
  record.listDigest = ReadLe32(layout + 48);
  record.algorithmsChecked = ReadLe32(layout + 52);
  return record;
}

uint32_t StubRecord::AlgorithmToRecord() const {
  return (algorithmsChecked & (1u << kDigestLaneSums)) != 0 ? kDigestLaneSums : kDigestXxh32;
}

void PutDigestFields(unsigned char (&fields)[16], uint32_t algorithm, uint32_t digestsAt, uint32_t entryCount,
                     uint32_t listDigest) {
  PutLe32(fields, algorithm);
  PutLe32(fields + 4, digestsAt);
  PutLe32(fields + 8, entryCount);
  PutLe32(fields + 12, listDigest);
}

std::optional<FoundStubRecord> FindStubRecord(PositionedBytes& image) {
  const auto pe = ReadPeHeaders(image);
  const auto section = pe ? FindSection(image, *pe, kStubSectionName) : std::nullopt;
  unsigned char bytes[kStubRecordBytes];
  if (!section || section->rawSize < kStubRecordBytes || !image.ReadAt(section->rawOffset, bytes, sizeof bytes)) {
    return std::nullopt;
  }
  auto record = ParseStubRecord(bytes);
  if (!record) return std::nullopt;
  return FoundStubRecord{section->rawOffset, std::move(*record)};
}

}  // namespace qf::package
