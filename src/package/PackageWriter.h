#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/ByteSource.h"
#include "package/PackageFormat.h"

namespace qf::package {

enum class WriteError {
  None,
  StubMissing,     // entries must follow the stub image
  TooManyEntries,  // more than 1024
  NameEmpty,
  NameTooLong,       // over 511 characters
  DirectoryTooLong,  // over 511 characters
  OffsetTooLarge,    // the data would start at or past 2^31
  SizeTooLarge,      // an entry over 4 GiB - 1
  NoEntries,
  ReadFailed,
  WriteFailed,
  AlreadyFinished,
  DigestsNotReserved,  // the digest list is reserved right after the stub
  DigestCountDiffers,  // the package holds another number of entries than reserved
};

std::string Describe(WriteError error);

// Lays out an installer: the stub image, every file's data back to back, the
// table and the trailer. Data is streamed through a fixed buffer, so memory
// stays constant whatever the file sizes; only the records are kept.
class PackageWriter {
 public:
  // `output` is written sequentially (a new file).
  explicit PackageWriter(ByteSink& output) : m_output(output) {}

  WriteError AppendStub(ByteSource& stub);
  // Right after the stub: makes room for the digest of each of `entryCount`
  // entries and of the table, and has Finish fill them and the digest fields
  // of the stub's record at `recordAt`, with `algorithm`. Without it the
  // package has no digests.
  WriteError ReserveDigests(uint64_t recordAt, uint32_t entryCount, uint32_t algorithm);
  WriteError AddEntry(std::u16string_view name, std::u16string_view directory, ByteSource& data);
  WriteError Finish();

  uint64_t BytesWritten() const { return m_length; }
  std::size_t EntryCount() const { return m_records.size(); }

 private:
  struct Record {
    uint32_t offset;
    uint32_t size;
    uint32_t digest;
    std::u16string name;
    std::u16string directory;
  };

  bool Put(const void* bytes, std::size_t count);

  ByteSink& m_output;
  std::vector<Record> m_records;
  uint64_t m_length = 0;
  bool m_stubWritten = false;
  uint64_t m_recordAt = 0;
  uint64_t m_digestsAt = 0;  // 0: no digests
  uint32_t m_reservedEntries = 0;
  uint32_t m_algorithm = 0;
  bool m_finished = false;
};

}  // namespace qf::package
