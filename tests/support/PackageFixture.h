#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace qf::test {

struct TestEntry {
  std::u16string name;
  std::u16string directory;
  Bytes data;
};

// Writes stub + entries as an installer with the package writer.
void WritePackage(const std::filesystem::path& path, const Bytes& stub, const std::vector<TestEntry>& entries);

// The settings file of the reference package: UTF-16LE with BOM, CR LF, 604 bytes.
Bytes ReferenceSettings();

// The reference package's shape: a 0x37000-byte stand-in stub, the installer
// (81,920 bytes, 13-character name), a second executable (3,961,394 bytes,
// 16-character name) and $Settings.ini (604 bytes).
struct ReferencePackage {
  Bytes stub;
  std::vector<TestEntry> entries;
};
ReferencePackage MakeReferencePackage();

// Hand-made pieces for tables the writer would refuse to produce.
Bytes RawRecord(uint32_t offset, uint32_t size, std::u16string_view name, uint32_t n, std::u16string_view directory,
                uint32_t m);
Bytes RawTrailer(uint32_t count, std::u16string_view version = u"1.00", std::u16string_view tag = u"TavixCorp.");
void Append(Bytes& to, const Bytes& more);
void PutU32At(Bytes& bytes, std::size_t at, uint32_t value);

}  // namespace qf::test
