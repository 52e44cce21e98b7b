#include "package/PackageWriter.h"

#include <array>

#include "package/PackageFormat.h"

namespace qf::package {

const char* Describe(WriteError error) {
  switch (error) {
    case WriteError::None:
      return "no error";
    case WriteError::StubMissing:
      return "the stub must be written before any entry";
    case WriteError::TooManyEntries:
      return "a package holds at most 1024 files";
    case WriteError::NameEmpty:
      return "a file name must not be empty";
    case WriteError::NameTooLong:
      return "a file name has at most 511 characters";
    case WriteError::DirectoryTooLong:
      return "a directory has at most 511 characters";
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
  }
  return "unknown error";
}

bool PackageWriter::Put(const void* bytes, std::size_t count) {
  if (!m_output.Write(bytes, count)) return false;
  m_length += count;
  return true;
}

bool PackageWriter::PutU32(uint32_t value) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                  static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return Put(bytes, sizeof bytes);
}

bool PackageWriter::PutText(std::u16string_view text) {
  std::vector<unsigned char> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
  return Put(bytes.data(), bytes.size());
}

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
  std::array<unsigned char, kCopyChunkBytes> chunk;
  for (;;) {
    const int64_t got = data.Read(chunk.data(), kCopyChunkBytes);
    if (got < 0) return WriteError::ReadFailed;
    if (got == 0) break;
    size += static_cast<uint64_t>(got);
    if (size > UINT32_MAX) return WriteError::SizeTooLarge;
    if (!Put(chunk.data(), static_cast<std::size_t>(got))) return WriteError::WriteFailed;
  }
  m_records.push_back(Record{offset, static_cast<uint32_t>(size), std::u16string(name), std::u16string(directory)});
  return WriteError::None;
}

WriteError PackageWriter::Finish() {
  if (m_finished) return WriteError::AlreadyFinished;
  if (m_records.empty()) return WriteError::NoEntries;
  for (const Record& r : m_records) {
    const bool written = PutU32(r.offset) && PutU32(r.size) && PutText(r.name) &&
                         PutU32(static_cast<uint32_t>(r.name.size())) && PutText(r.directory) &&
                         PutU32(static_cast<uint32_t>(r.directory.size()));
    if (!written) return WriteError::WriteFailed;
  }
  if (!PutU32(static_cast<uint32_t>(m_records.size())) || !PutText(kVersion) || !PutText(kTag)) {
    return WriteError::WriteFailed;
  }
  m_finished = true;
  return WriteError::None;
}

}  // namespace qf::package
