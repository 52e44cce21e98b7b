#pragma once

#include "package/ByteSource.h"
#include "support/TestFiles.h"

namespace qf::test {

struct TestEntry {
  std::u16string name, directory;
  Bytes data;
};

// Writes stub + entries as an installer with the package writer, with the
// digests of every entry when the stub carries a record and `digests` holds.
void WritePackage(const std::filesystem::path& path, const Bytes& stub, const std::vector<TestEntry>& entries,
                  bool digests = true);

// The settings file of the reference package: UTF-16LE with BOM, CR LF, 604 bytes.
Bytes ReferenceSettings();

// Hand-made pieces for tables the writer would refuse to produce.
Bytes RawRecord(uint32_t offset, uint32_t size, std::u16string_view name, uint32_t n, std::u16string_view directory,
                uint32_t m);
Bytes RawTrailer(uint32_t count, std::u16string_view version = u"1.00", std::u16string_view tag = u"TavixCorp.");
void Append(Bytes& to, const Bytes& more);

// Bytes made as they are asked for, each from its position by `byteAt` (zeros without it), and a sink that
// keeps nothing: sizes at the format's limits in the memory of small ones, without touching the disk.
struct Generated final : package::ByteSource, package::ByteSink {
  explicit Generated(uint64_t n, unsigned char (*rule)(uint64_t) = nullptr) : size(n), byteAt(rule) {}
  int64_t Read(void* buffer, uint32_t count) override;
  bool Write(const void*, std::size_t) override { return true; }
  bool WriteAt(uint64_t, const void*, std::size_t, uint64_t) override { return true; }
  uint64_t size, at = 0;
  unsigned char (*byteAt)(uint64_t);
};
void PutU32At(Bytes& bytes, std::size_t at, uint32_t value);

}  // namespace qf::test
