#include "package/PackageWriter.h"

#include <array>

#include "package/PackageFormat.h"
#include "package/PayloadDigest.h"
#include "package/StubRecord.h"

namespace qf::package {

std::string Describe(WriteError error) {
  switch (error) {
    case WriteError::None:
      return "no error";
    case WriteError::StubMissing:
      return "the stub must be written before any entry";
    case WriteError::TooManyEntries:
      return "a package holds at most " + std::to_string(kMaxEntries) + " files";
    case WriteError::NameEmpty:
      return "a file name must not be empty";
    case WriteError::NameTooLong:
      return "a file name has at most " + std::to_string(kMaxTextUnits) + " characters";
    case WriteError::DirectoryTooLong:
      return "a directory has at most " + std::to_string(kMaxTextUnits) + " characters";
    case WriteError::OffsetTooLarge:
      return "the package would pass 2 GiB before this file's data starts";
    case WriteError::SizeTooLarge:
      return "a file has at most 4 GiB - 1 bytes";
    case WriteError::NoEntries:
      return "a package holds at least one file";
    case WriteError::ReadFailed:
      return "reading the input failed";
    case WriteError::WriteFailed:
      return "writing the package failed";
    case WriteError::AlreadyFinished:
      return "the package is already finished";
    case WriteError::DigestsNotReserved:
      return "the digests are reserved right after the stub";
    case WriteError::DigestCountDiffers:
      return "the package holds another number of files than its digests";
  }
  return "unknown error";
}

bool PackageWriter::Put(const void* bytes, std::size_t count) {
  if (!m_output.Write(bytes, count)) return false;
  m_length += count;
  return true;
}

namespace {

void AppendU32(std::vector<unsigned char>& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void AppendText(std::vector<unsigned char>& bytes, std::u16string_view text) {
  for (char16_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
}

}  // namespace

WriteError PackageWriter::AppendStub(ByteSource& stub) {
  if (m_finished) return WriteError::AlreadyFinished;
  std::array<unsigned char, kCopyChunkBytes> chunk;
  for (;;) {
    const int64_t got = stub.Read(chunk.data(), kCopyChunkBytes);
    if (got < 0) return WriteError::ReadFailed;
    if (got == 0) break;
    if (!Put(chunk.data(), static_cast<std::size_t>(got))) return WriteError::WriteFailed;
  }
  m_stubWritten = true;
  return WriteError::None;
}

WriteError PackageWriter::ReserveDigests(uint64_t recordAt, uint32_t entryCount, uint32_t algorithm) {
  if (m_finished) return WriteError::AlreadyFinished;
  if (!m_stubWritten || !m_records.empty() || m_digestsAt != 0 || recordAt + kStubRecordBytes > m_length) {
    return WriteError::DigestsNotReserved;
  }
  if (entryCount == 0 || entryCount > kMaxEntries) return WriteError::DigestCountDiffers;
  if (!PayloadDigest::Knows(algorithm)) return WriteError::DigestsNotReserved;
  m_recordAt = recordAt;
  m_algorithm = algorithm;
  m_digestsAt = m_length;
  m_reservedEntries = entryCount;
  const std::vector<unsigned char> room(4 * (std::size_t{entryCount} + 1), 0);
  return Put(room.data(), room.size()) ? WriteError::None : WriteError::WriteFailed;
}

WriteError PackageWriter::AddEntry(std::u16string_view name, std::u16string_view directory, ByteSource& data) {
  if (m_finished) return WriteError::AlreadyFinished;
  if (!m_stubWritten) return WriteError::StubMissing;
  if (m_records.size() >= kMaxEntries) return WriteError::TooManyEntries;
  if (name.empty()) return WriteError::NameEmpty;
  if (name.size() > kMaxTextUnits) return WriteError::NameTooLong;
  if (directory.size() > kMaxTextUnits) return WriteError::DirectoryTooLong;
  if (m_length >= kOffsetLimit) return WriteError::OffsetTooLarge;

  const auto offset = static_cast<uint32_t>(m_length);
  uint64_t size = 0;
  PayloadDigest digest(m_algorithm);
  std::array<unsigned char, kCopyChunkBytes> chunk;
  for (;;) {
    const int64_t got = data.Read(chunk.data(), kCopyChunkBytes);
    if (got < 0) return WriteError::ReadFailed;
    if (got == 0) break;
    size += static_cast<uint64_t>(got);
    if (size > UINT32_MAX) return WriteError::SizeTooLarge;
    if (m_digestsAt != 0) digest.Add(chunk.data(), static_cast<std::size_t>(got));
    if (!Put(chunk.data(), static_cast<std::size_t>(got))) return WriteError::WriteFailed;
  }
  m_records.push_back(
      Record{offset, static_cast<uint32_t>(size), digest.Value(), std::u16string(name), std::u16string(directory)});
  return WriteError::None;
}

WriteError PackageWriter::Finish() {
  if (m_finished) return WriteError::AlreadyFinished;
  if (m_records.empty()) return WriteError::NoEntries;
  if (m_digestsAt != 0 && m_records.size() != m_reservedEntries) return WriteError::DigestCountDiffers;
  std::vector<unsigned char> table;
  for (const Record& r : m_records) {
    AppendU32(table, r.offset);
    AppendU32(table, r.size);
    AppendText(table, r.name);
    AppendU32(table, static_cast<uint32_t>(r.name.size()));
    AppendText(table, r.directory);
    AppendU32(table, static_cast<uint32_t>(r.directory.size()));
  }
  AppendU32(table, static_cast<uint32_t>(m_records.size()));
  AppendText(table, kVersion);
  AppendText(table, kTag);
  if (!Put(table.data(), table.size())) return WriteError::WriteFailed;
  m_finished = true;
  if (m_digestsAt == 0) return WriteError::None;

  std::vector<unsigned char> list;
  for (const Record& r : m_records) AppendU32(list, r.digest);
  AppendU32(list, PayloadDigest::Of(m_algorithm, table.data(), table.size()));
  unsigned char fields[16];
  PutDigestFields(fields, m_algorithm, static_cast<uint32_t>(m_digestsAt), m_reservedEntries,
                  PayloadDigest::Of(m_algorithm, list.data(), list.size()));
  const bool filled = m_output.WriteAt(m_digestsAt, list.data(), list.size(), m_length) &&
                      m_output.WriteAt(m_recordAt + kDigestFieldsAt, fields, sizeof fields, m_length);
  return filled ? WriteError::None : WriteError::WriteFailed;
}

}  // namespace qf::package
