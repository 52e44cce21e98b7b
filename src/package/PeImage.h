#pragma once

// The few fields of a Windows executable's headers that the package layer and
// the tools need: the machine, the checksum's place, the certificate table
// named by the security directory, and the sections. Every field is checked
// before it is used; headers that do not hold together are no image.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qf::sys {
class File;
}

namespace qf::package {

// Bytes at a position: a file (which must stay open; its size is taken once),
// or an image in memory.
class PositionedBytes {
 public:
  explicit PositionedBytes(sys::File& file);
  PositionedBytes(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}
  uint64_t Size() const { return m_size; }
  bool ReadAt(uint64_t position, void* buffer, uint32_t count);

 private:
  sys::File* m_file = nullptr;
  const unsigned char* m_data = nullptr;
  uint64_t m_size = 0;
};

struct PeSection {
  char name[8];
  uint32_t virtualSize;
  uint32_t virtualAddress;
  uint32_t rawSize;
  uint32_t rawOffset;
};

struct PeHeaders {
  static constexpr uint16_t kMachineI386 = 0x14C;
  static constexpr uint16_t kMachineAmd64 = 0x8664;

  uint16_t machine = 0;
  uint64_t optionalAt = 0;
  uint64_t checksumAt = 0;           // the file position of the optional header's CheckSum
  uint64_t securityDirectoryAt = 0;  // of the security directory entry; 0 when the image has none
  uint32_t certificatesAt = 0;       // the certificate table it names (a file offset, not an address)
  uint32_t certificatesSize = 0;
  uint64_t sectionsAt = 0;
  uint32_t sectionCount = 0;
  uint64_t headersEnd = 0;  // past the section table
};

std::optional<PeHeaders> ReadPeHeaders(PositionedBytes& image);
std::optional<PeSection> ReadSection(PositionedBytes& image, const PeHeaders& pe, uint32_t index);
inline uint64_t SectionHeaderAt(const PeHeaders& pe, uint32_t index) { return pe.sectionsAt + 40ull * index; }
// The section of that name (at most 8 characters), if the image has one.
std::optional<PeSection> FindSection(PositionedBytes& image, const PeHeaders& pe, std::string_view name);

// What a writer of sections needs beyond the headers above.
struct PeImageLayout {
  static constexpr uint32_t kResourceDirectory = 2;
  static constexpr uint32_t kSizeOfImageAt = 56;  // in the optional header, both forms

  uint32_t sectionAlignment = 0;
  uint32_t fileAlignment = 0;
  uint32_t sizeOfImage = 0;
  uint32_t sizeOfHeaders = 0;
  uint32_t directoryCount = 0;
  uint64_t directoriesAt = 0;  // the file position of data directory 0
  uint64_t sectionCountAt = 0;
  uint64_t DirectoryAt(uint32_t index) const { return directoriesAt + 8ull * index; }
};
std::optional<PeImageLayout> ReadImageLayout(PositionedBytes& image, const PeHeaders& pe);
// The file position of `size` bytes at the relative address `rva`, when one section holds them all.
std::optional<uint64_t> FileOffsetOf(PositionedBytes& image, const PeHeaders& pe, uint32_t rva, uint32_t size);

// The machine's name as the tools print it ("i386", "x86_64"), or "machine 0x…".
std::string MachineName(uint16_t machine);

}  // namespace qf::package
