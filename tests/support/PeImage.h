#pragma once

// A minimal Windows executable image made by hand: headers and one section
// holding a single return instruction.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "package/PayloadDigest.h"
#include "package/StubRecord.h"
#include "support/PackageFixture.h"

namespace qf::test {

struct PeLayout {
  static constexpr uint32_t kHeaderAt = 0x40;
  static constexpr uint32_t kOptionalAt = kHeaderAt + 4 + 20;

  bool plus = false;                                              // PE32+ (x86_64) rather than PE32 (i386)
  uint32_t digestAlgorithms = package::kDigestAlgorithmsChecked;  // what a stub's record says it checks
  uint32_t OptionalBytes() const { return plus ? 240 : 224; }
  uint32_t DirectoryCountAt() const { return kOptionalAt + (plus ? 108 : 92); }
  uint32_t SecurityDirectoryAt() const { return kOptionalAt + (plus ? 112 : 96) + 4 * 8; }
};

inline Bytes MinimalPe(const PeLayout& layout) {
  constexpr uint32_t h = PeLayout::kHeaderAt, o = PeLayout::kOptionalAt, file = 0x200, section = 0x1000;
  const uint32_t s = o + layout.OptionalBytes();
  const bool plus = layout.plus;
  // Little-endian fields as triples {where, value, bytes}: the signatures; the file header (machine, one
  // section, the optional header's size, executable with 32-bit words); the optional header (magic, entry
  // point, image base, alignments, system versions, image and header sizes, GUI subsystem, 16 data
  // directories); the section ".text" (sizes and places, code to execute and read); and its one
  // instruction, a return.
  // clang-format off
  const uint32_t fields[] = {
      0, 'M' | 'Z' << 8, 2,  0x3C, h, 4,  h, 'P' | 'E' << 8, 4,
      h + 4, plus ? 0x8664u : 0x14Cu, 2,  h + 6, 1, 2,  h + 20, layout.OptionalBytes(), 2,  h + 22, 0x0102, 2,
      o, plus ? 0x20Bu : 0x10Bu, 2,  o + 16, section, 4,  o + 24, plus ? 0x40000000u : 0, 4,
      o + 28, plus ? 1u : 0x400000u, 4,  o + 32, section, 4,  o + 36, file, 4,  o + 40, 6, 2,  o + 48, 6, 2,
      o + 56, 2 * section, 4,  o + 60, file, 4,  o + 68, 2, 2,  layout.DirectoryCountAt(), 16, 4,
      s, '.' | 't' << 8 | 'e' << 16 | 'x' << 24, 4,  s + 4, 't', 4,  s + 8, file, 4,  s + 12, section, 4,
      s + 16, file, 4,  s + 20, file, 4,  s + 36, 0x60000020, 4,  file, 0xC3, 1};
  // clang-format on
  Bytes b(1024, 0);
  for (std::size_t f = 0; f < std::size(fields); f += 3) {
    for (uint32_t i = 0; i < fields[f + 2]; ++i)
      b.at(fields[f] + i) = static_cast<unsigned char>(fields[f + 1] >> (8 * i));
  }
  return b;
}

// The minimal image with a second section holding a stub's record, as the stub carries it.
inline Bytes MinimalStub(const PeLayout& layout) {
  Bytes b = MinimalPe(layout);
  const uint32_t s = PeLayout::kOptionalAt + layout.OptionalBytes() + 40;
  b.at(PeLayout::kHeaderAt + 6) = 2;
  const char name[] = ".qfstub";
  std::copy(name, name + 7, b.begin() + s);
  PutU32At(b, s + 16, 0x200);
  PutU32At(b, s + 20, static_cast<uint32_t>(b.size()));
  PutU32At(b, s + 36, 0x40000040);
  Bytes record(0x200, 0);
  std::copy(package::kProductName.begin(), package::kProductName.end(), record.begin());
  record[16] = '9';
  PutU32At(record, 32, (package::kStubRecordLayout << 16) | (layout.plus ? 0x8664u : 0x14Cu));
  PutU32At(record, 52, layout.digestAlgorithms);
  Append(b, record);
  return b;
}

}  // namespace qf::test
