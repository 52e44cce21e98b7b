#pragma once

// The record every stub carries in a section of its own: who it is (product,
// version, machine) and, once the builder has filled it in, where the digests
// of its package lie. The record is part of the stub's image, so a signature
// over the installer covers it; the package format itself is unchanged.
//
//   0  product, ASCII, zero-padded (16)    32 machine u16    36 digest algorithm u32 (0: none)
//  16  version, ASCII, zero-padded (16)    34 layout  u16    40 digest list's file position u32
//  44  entry count u32    48 digest of the digest list u32
//  52  the digest algorithms the stub checks, bit n for id n, as built u32 (0: XXH32 only)    56 zero (8)
//
// The digest list, which the builder puts between the stub image and the first
// entry's data, holds one u32 per entry in table order, then one for the table
// and the trailer together.

#include <cstdint>
#include <optional>
#include <string_view>

#include "package/PeImage.h"

namespace qf::package {

inline constexpr std::string_view kStubSectionName = ".qfstub";
inline constexpr std::string_view kProductName = "Quillfen";
inline constexpr uint16_t kStubRecordLayout = 1;
inline constexpr uint32_t kStubRecordBytes = 64;
inline constexpr uint32_t kDigestFieldsAt = 36;

// The record as it lies in memory in the stub (both builds are little-endian).
struct StubRecordLayout {
  char product[16];
  char version[16];
  uint16_t machine;
  uint16_t layout;
  uint32_t algorithm;
  uint32_t digestsAt;
  uint32_t entryCount;
  uint32_t listDigest;
  uint32_t algorithmsChecked;
  uint32_t reserved[2];
};
static_assert(sizeof(StubRecordLayout) == kStubRecordBytes, "the record is 64 bytes");

struct StubRecord {
  char product[17] = {};  // zero-terminated
  char version[17] = {};
  uint16_t machine = 0;
  uint32_t algorithm = 0;  // 0: the builder recorded no digests
  uint32_t digestsAt = 0;
  uint32_t entryCount = 0;
  uint32_t listDigest = 0;
  uint32_t algorithmsChecked = 0;

  std::string_view Product() const { return product; }
  std::string_view Version() const { return version; }
  bool HasDigests() const { return algorithm != 0; }
  uint64_t ListBytes() const { return 4ull * (uint64_t{entryCount} + 1); }
  // The algorithm a builder records for this stub: the best one it checks.
  // Stubs from before the field checked XXH32 only.
  uint32_t AlgorithmToRecord() const;
};

// No value when the bytes are no record of a stub of ours.
std::optional<StubRecord> ParseStubRecord(const unsigned char* bytes);
// The digest fields as the builder fills them in, at kDigestFieldsAt.
void PutDigestFields(unsigned char (&fields)[16], uint32_t algorithm, uint32_t digestsAt, uint32_t entryCount,
                     uint32_t listDigest);

struct FoundStubRecord {
  uint64_t at;  // the record's file position
  StubRecord record;
};
// The record in an executable's section of that name; none in any other program.
std::optional<FoundStubRecord> FindStubRecord(PositionedBytes& image);

}  // namespace qf::package
