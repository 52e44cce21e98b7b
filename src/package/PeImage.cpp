#include "package/PeImage.h"

#include <cstring>

#include "package/LittleEndian.h"
#include "sys/File.h"

namespace qf::package {
namespace {

constexpr uint32_t kNewHeaderPointerAt = 0x3C;
constexpr uint32_t kSignatureBytes = 4;  // "PE\0\0"
constexpr uint32_t kFileHeaderBytes = 20;
constexpr uint32_t kMachineAt = 0;              // in the file header
constexpr uint32_t kSectionCountAt = 2;         // in the file header
constexpr uint32_t kOptionalHeaderSizeAt = 16;  // in the file header
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kChecksumAt = 64;  // in the optional header, both forms
constexpr uint32_t kDirectoryCountAtPe32 = 92;
constexpr uint32_t kDirectoriesAtPe32 = 96;
constexpr uint32_t kDirectoryCountAtPe32Plus = 108;
constexpr uint32_t kDirectoriesAtPe32Plus = 112;
constexpr uint32_t kDirectoryBytes = 8;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kSectionHeaderBytes = 40;
constexpr uint32_t kSectionVirtualSizeAt = 8;
constexpr uint32_t kSectionVirtualAddressAt = 12;
constexpr uint32_t kSectionRawSizeAt = 16;
constexpr uint32_t kSectionRawOffsetAt = 20;
// More sections than any linker writes is a damaged header.
constexpr uint32_t kMaxSections = 96;
constexpr uint32_t kSectionAlignmentAt = 32;  // in the optional header, both forms
constexpr uint32_t kFileAlignmentAt = 36;
constexpr uint32_t kSizeOfHeadersAt = 60;

}  // namespace

PositionedBytes::PositionedBytes(sys::File& file) : m_file(&file), m_size(file.Size().value_or(0)) {}

bool PositionedBytes::ReadAt(uint64_t position, void* buffer, uint32_t count) {
  if (position > m_size || count > m_size - position) return false;
  if (m_file != nullptr) return m_file->SeekTo(position) && m_file->Read(buffer, count) == count;
  std::memcpy(buffer, m_data + position, count);
  return true;
}

std::optional<PeHeaders> ReadPeHeaders(PositionedBytes& image) {
  unsigned char bytes[kDirectoriesAtPe32Plus + (kSecurityDirectory + 1) * kDirectoryBytes] = {};
  if (!image.ReadAt(0, bytes, kNewHeaderPointerAt + 4) || bytes[0] != 'M' || bytes[1] != 'Z') return std::nullopt;
  const uint64_t headerAt = ReadLe32(bytes + kNewHeaderPointerAt);
  if (!image.ReadAt(headerAt, bytes, kSignatureBytes + kFileHeaderBytes) ||
      std::memcmp(bytes, "PE\0\0", kSignatureBytes) != 0) {
    return std::nullopt;
  }
  PeHeaders pe;
  const unsigned char* file = bytes + kSignatureBytes;
  pe.machine = ReadLe16(file + kMachineAt);
  const uint32_t sectionCount = ReadLe16(file + kSectionCountAt);
  const uint32_t optionalSize = ReadLe16(file + kOptionalHeaderSizeAt);
  const uint64_t optionalAt = headerAt + kSignatureBytes + kFileHeaderBytes;
  if (sectionCount > kMaxSections || !image.ReadAt(optionalAt, bytes, 2)) return std::nullopt;

  const uint16_t magic = ReadLe16(bytes);
  const bool plus = magic == kMagicPe32Plus;
  if (!plus && magic != kMagicPe32) return std::nullopt;
  const uint32_t countAt = plus ? kDirectoryCountAtPe32Plus : kDirectoryCountAtPe32;
  const uint32_t securityAt =
      (plus ? kDirectoriesAtPe32Plus : kDirectoriesAtPe32) + kSecurityDirectory * kDirectoryBytes;
  if (optionalSize < countAt + 4 || !image.ReadAt(optionalAt, bytes, countAt + 4)) return std::nullopt;
  pe.optionalAt = optionalAt;
  pe.checksumAt = optionalAt + kChecksumAt;
  if (ReadLe32(bytes + countAt) > kSecurityDirectory && optionalSize >= securityAt + kDirectoryBytes &&
      image.ReadAt(optionalAt + securityAt, bytes, kDirectoryBytes)) {
    pe.securityDirectoryAt = optionalAt + securityAt;
    pe.certificatesAt = ReadLe32(bytes);
    pe.certificatesSize = ReadLe32(bytes + 4);
  }

  pe.sectionsAt = optionalAt + optionalSize;
  pe.sectionCount = sectionCount;
  pe.headersEnd = pe.sectionsAt + uint64_t{sectionCount} * kSectionHeaderBytes;
  if (pe.headersEnd > image.Size()) return std::nullopt;
  return pe;
}

std::optional<PeSection> ReadSection(PositionedBytes& image, const PeHeaders& pe, uint32_t index) {
  unsigned char header[kSectionHeaderBytes];
  if (index >= pe.sectionCount || !image.ReadAt(SectionHeaderAt(pe, index), header, sizeof header)) {
    return std::nullopt;
  }
  PeSection section{};
  std::memcpy(section.name, header, sizeof section.name);
  section.virtualSize = ReadLe32(header + kSectionVirtualSizeAt);
  section.virtualAddress = ReadLe32(header + kSectionVirtualAddressAt);
  section.rawSize = ReadLe32(header + kSectionRawSizeAt);
  section.rawOffset = ReadLe32(header + kSectionRawOffsetAt);
  return section;
}

std::optional<PeSection> FindSection(PositionedBytes& image, const PeHeaders& pe, std::string_view name) {
  for (uint32_t i = 0; i < pe.sectionCount; ++i) {
    const auto section = ReadSection(image, pe, i);
    if (!section) return std::nullopt;
    if (std::string_view(section->name, strnlen(section->name, sizeof section->name)) == name) return section;
  }
  return std::nullopt;
}

std::optional<PeImageLayout> ReadImageLayout(PositionedBytes& image, const PeHeaders& pe) {
  unsigned char bytes[kDirectoriesAtPe32Plus];
  if (!image.ReadAt(pe.optionalAt, bytes, 2)) return std::nullopt;
  const bool plus = ReadLe16(bytes) == kMagicPe32Plus;
  const uint32_t countAt = plus ? kDirectoryCountAtPe32Plus : kDirectoryCountAtPe32;
  if (!image.ReadAt(pe.optionalAt, bytes, countAt + 4)) return std::nullopt;
  PeImageLayout layout;
  layout.sectionAlignment = ReadLe32(bytes + kSectionAlignmentAt);
  layout.fileAlignment = ReadLe32(bytes + kFileAlignmentAt);
  layout.sizeOfImage = ReadLe32(bytes + PeImageLayout::kSizeOfImageAt);
  layout.sizeOfHeaders = ReadLe32(bytes + kSizeOfHeadersAt);
  layout.directoryCount = ReadLe32(bytes + countAt);
  layout.directoriesAt = pe.optionalAt + (plus ? kDirectoriesAtPe32Plus : kDirectoriesAtPe32);
  layout.sectionCountAt = pe.optionalAt - kFileHeaderBytes + kSectionCountAt;
  // Every directory that is counted must lie in front of the section table.
  if (pe.sectionsAt < layout.directoriesAt ||
      layout.directoryCount > (pe.sectionsAt - layout.directoriesAt) / kDirectoryBytes) {
    return std::nullopt;
  }
  return layout;
}

std::optional<uint64_t> FileOffsetOf(PositionedBytes& image, const PeHeaders& pe, uint32_t rva, uint32_t size) {
  for (uint32_t i = 0; i < pe.sectionCount; ++i) {
    const auto s = ReadSection(image, pe, i);
    if (!s) return std::nullopt;
    const uint64_t start = s->virtualAddress, end = start + s->rawSize;
    if (rva >= start && uint64_t{rva} + size <= end) return uint64_t{s->rawOffset} + (rva - start);
  }
  return std::nullopt;
}

std::string MachineName(uint16_t machine) {
  if (machine == PeHeaders::kMachineI386) return "i386";
  if (machine == PeHeaders::kMachineAmd64) return "x86_64";
  static const char kHex[] = "0123456789abcdef";
  std::string text = "machine 0x";
  for (int shift = 12; shift >= 0; shift -= 4) text += kHex[(machine >> shift) & 0xF];
  return text;
}

}  // namespace qf::package
