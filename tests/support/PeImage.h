#pragma once

// A minimal Windows executable image made by hand (headers, one section holding
// a single return instruction), and the Authenticode layout a signing tool
// gives it: zero padding to 8 bytes, then a certificate table that ends the
// file, named by the security directory.

#include <cstdint>

#include "support/PackageFixture.h"

namespace qf::test {

struct PeLayout {
  static constexpr uint32_t kHeaderAt = 0x40;
  static constexpr uint32_t kOptionalAt = kHeaderAt + 4 + 20;
  static constexpr uint32_t kImageBytes = 1024;
  static constexpr uint32_t kFileAlignment = 0x200;
  static constexpr uint32_t kSectionAlignment = 0x1000;

  bool plus = false;  // PE32+ (x86_64) rather than PE32 (i386)
  uint32_t OptionalBytes() const { return plus ? 240 : 224; }
  uint32_t DirectoryCountAt() const { return kOptionalAt + (plus ? 108 : 92); }
  uint32_t SecurityDirectoryAt() const { return kOptionalAt + (plus ? 112 : 96) + 4 * 8; }
};

inline void PutU16At(Bytes& bytes, std::size_t at, uint16_t value) {
  bytes.at(at) = static_cast<unsigned char>(value);
  bytes.at(at + 1) = static_cast<unsigned char>(value >> 8);
}

inline Bytes MinimalPe(const PeLayout& layout) {
  Bytes b(PeLayout::kImageBytes, 0);
  b[0] = 'M';
  b[1] = 'Z';
  PutU32At(b, 0x3C, PeLayout::kHeaderAt);
  b[PeLayout::kHeaderAt] = 'P';
  b[PeLayout::kHeaderAt + 1] = 'E';
  const uint32_t file = PeLayout::kHeaderAt + 4;
  PutU16At(b, file, layout.plus ? 0x8664 : 0x14C);  // machine
  PutU16At(b, file + 2, 1);                         // sections
  PutU16At(b, file + 16, static_cast<uint16_t>(layout.OptionalBytes()));
  PutU16At(b, file + 18, 0x0102);  // executable, 32-bit words
  const uint32_t o = PeLayout::kOptionalAt;
  PutU16At(b, o, layout.plus ? 0x20B : 0x10B);
  PutU32At(b, o + 16, PeLayout::kSectionAlignment);  // entry point
  if (layout.plus) {
    PutU32At(b, o + 24, 0x40000000);
    PutU32At(b, o + 28, 0x1);  // image base 0x140000000
  } else {
    PutU32At(b, o + 28, 0x400000);
  }
  PutU32At(b, o + 32, PeLayout::kSectionAlignment);
  PutU32At(b, o + 36, PeLayout::kFileAlignment);
  PutU16At(b, o + 40, 6);                                // operating system version
  PutU16At(b, o + 48, 6);                                // subsystem version
  PutU32At(b, o + 56, 2 * PeLayout::kSectionAlignment);  // size of image
  PutU32At(b, o + 60, PeLayout::kFileAlignment);         // size of headers
  PutU16At(b, o + 68, 2);                                // GUI subsystem
  PutU32At(b, layout.DirectoryCountAt(), 16);
  const uint32_t section = o + layout.OptionalBytes();
  const char name[8] = {'.', 't', 'e', 'x', 't', 0, 0, 0};
  for (int i = 0; i < 8; ++i) b[section + i] = static_cast<unsigned char>(name[i]);
  PutU32At(b, section + 8, PeLayout::kFileAlignment);      // virtual size
  PutU32At(b, section + 12, PeLayout::kSectionAlignment);  // virtual address
  PutU32At(b, section + 16, PeLayout::kFileAlignment);     // raw size
  PutU32At(b, section + 20, PeLayout::kFileAlignment);     // raw pointer
  PutU32At(b, section + 36, 0x60000020);                   // code, execute, read
  b[PeLayout::kFileAlignment] = 0xC3;
  return b;
}

// Appends `padding` zero bytes and a certificate table of `tableBytes` bytes,
// and points the security directory at it, as a signing tool does.
inline void AppendCertificateTable(Bytes& file, const PeLayout& layout, uint32_t padding, uint32_t tableBytes = 64) {
  file.insert(file.end(), padding, 0);
  const auto offset = static_cast<uint32_t>(file.size());
  Bytes table = Pattern(tableBytes, 77);
  PutU32At(table, 0, tableBytes);
  PutU16At(table, 4, 0x0200);  // revision
  PutU16At(table, 6, 0x0002);  // PKCS #7 signed data
  Append(file, table);
  PutU32At(file, layout.SecurityDirectoryAt(), offset);
  PutU32At(file, layout.SecurityDirectoryAt() + 4, tableBytes);
}

}  // namespace qf::test
