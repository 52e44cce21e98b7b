#include "package/PackageReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>

#include "package/EntryCopy.h"
#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "package/PathSafety.h"
#include "package/PayloadDigest.h"
#include "package/PeImage.h"
#include "sys/File.h"
#include "sys/Text.h"

namespace qf {
namespace {

using package::kMaxTextUnits;
using package::kTextBufferBytes;

// Reads `count` bytes at `distance` before the end of the package. A failed seek
// or read is a table that cannot be verified. The read never reaches the end,
// so nothing after the package (a signature) is ever read.
bool ReadFromEnd(sys::File& file, uint64_t end, uint64_t distance, void* buffer, uint32_t count) {
  if (count > distance || distance > end) return false;
  return file.SeekTo(end - distance) && file.Read(buffer, count) == count;
}

bool ReadU32FromEnd(sys::File& file, uint64_t end, uint64_t distance, uint32_t& value) {
  unsigned char bytes[4] = {};
  if (!ReadFromEnd(file, end, distance, bytes, sizeof bytes)) return false;
  value = package::ReadLe32(bytes);
  return true;
}

// The text of `units` characters in the buffer, cut at its first zero character.
std::u16string TextFromBuffer(const unsigned char* buffer, uint32_t units) {
  std::u16string text;
  for (uint32_t i = 0; i < units; ++i) {
    const char16_t c = static_cast<char16_t>(buffer[2 * i] | (buffer[2 * i + 1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

bool BufferHoldsText(const unsigned char* buffer, std::u16string_view text) {
  return TextFromBuffer(buffer, static_cast<uint32_t>(text.size())) == text;
}

struct CertificateTable {
  uint64_t offset;
  uint64_t size;
};

// The certificate table named by the PE security directory, when there is one
// and it ends exactly at the end of the file, behind the headers that name it.
std::optional<CertificateTable> FindCertificateTable(sys::File& file, uint64_t fileSize) {
  package::PositionedBytes bytes(file);
  const auto pe = package::ReadPeHeaders(bytes);
  if (!pe || pe->certificatesSize == 0) return std::nullopt;
  const CertificateTable table{pe->certificatesAt, pe->certificatesSize};
  if (table.offset < pe->headersEnd || table.offset + table.size != fileSize) return std::nullopt;
  return table;
}

}  // namespace

// A signed installer carries a certificate table after the package, which the
// signing tool aligns with up to 7 zero bytes: the package then ends where the
// tag does, in front of that padding. The signature covers everything but the
// table, so once a table ends the file the package is looked for in front of
// it alone: whatever the table holds, a tag among it included, is never read.
std::optional<uint64_t> package::FindPackageEnd(sys::File& file) {
  const auto fileSize = file.Size();
  if (!fileSize) return std::nullopt;
  unsigned char tail[package::kTagBytes + package::kMaxSignaturePadding] = {};
  const auto table = FindCertificateTable(file, *fileSize);
  if (!table) {
    if (ReadFromEnd(file, *fileSize, package::kTagBytes, tail, package::kTagBytes) &&
        BufferHoldsText(tail, package::kTag)) {
      return *fileSize;
    }
    return std::nullopt;
  }
  const uint32_t window = static_cast<uint32_t>(std::min<uint64_t>(sizeof tail, table->offset));
  if (!ReadFromEnd(file, table->offset, window, tail, window)) return std::nullopt;
  for (uint32_t padding = 0; padding <= package::kMaxSignaturePadding && padding + package::kTagBytes <= window;
       ++padding) {
    const unsigned char* paddingStart = tail + window - padding;
    if (std::any_of(paddingStart, paddingStart + padding, [](unsigned char b) { return b != 0; })) break;
    if (BufferHoldsText(paddingStart - package::kTagBytes, package::kTag)) return table->offset - padding;
  }
  return std::nullopt;
}

namespace {

// Both extraction operations reject an empty directory before touching anything:
// there is no sensible place to write to.
constexpr ResultCode kEmptyDirectoryResult = ResultCode::ExtractionFailed;

std::u16string PrepareDirectory(const std::u16string& directory) {
  if (directory.back() == u'\\') return directory;
  return directory + u'\\';
}

}  // namespace

PackageReader::PackageReader() : PackageReader(sys::ExecutablePath()) {}

PackageReader::PackageReader(std::u16string packagePath)
    : m_packagePath(std::move(packagePath)), m_entries(package::kMaxEntries) {}

void PackageReader::Clear() {
  for (int32_t i = 0; i < m_entryCount; ++i) {
    m_entries[static_cast<std::size_t>(i)].name.clear();
    m_entries[static_cast<std::size_t>(i)].size = 0;
  }
  m_entryCount = 0;
  m_packageEnd = 0;
  m_tableStart = 0;
}

ResultCode PackageReader::Fail(ResultCode code, LoadFailure::Reason reason, uint32_t record, uint32_t value) {
  m_failure.reason = reason;
  m_failure.record = record;
  m_failure.value = value;
  return code;
}

ResultCode PackageReader::LoadTable(const std::u16string& path) {
  using Reason = LoadFailure::Reason;
  std::array<unsigned char, kTextBufferBytes> buffer{};
  Clear();
  m_failure = LoadFailure{};

  sys::File file = sys::File::OpenRead(path);
  if (!file) return Fail(ResultCode::OpenFailed, Reason::CannotOpen);

  // Every read below counts back from the end of the package.
  const auto found = package::FindPackageEnd(file);
  if (!found) return Fail(ResultCode::SignatureMismatch, Reason::NoTag);
  const uint64_t end = *found;

  buffer.fill(0);
  if (!ReadFromEnd(file, end, package::kTagBytes + package::kVersionBytes, buffer.data(), package::kVersionBytes) ||
      !BufferHoldsText(buffer.data(), package::kVersion)) {
    m_failure.version = TextFromBuffer(buffer.data(), static_cast<uint32_t>(package::kVersion.size()));
    return Fail(ResultCode::VersionMismatch, Reason::Version);
  }

  uint32_t count = 0;
  if (!ReadU32FromEnd(file, end, package::kTrailerSize, count))
    return Fail(ResultCode::SignatureMismatch, Reason::NoTag);
  m_failure.count = count;
  if (count == 0) return Fail(ResultCode::NoFiles, Reason::NoEntries);
  // A table larger than the reader's is no package of this format.
  if (count > package::kMaxEntries) return Fail(ResultCode::SignatureMismatch, Reason::TooManyEntries, 0, count);

  // Distances only grow, by at most 16 + 2 * 2 * 511 bytes per record, so a
  // 64-bit distance cannot overflow; every seek checks it against the package's start.
  uint64_t d = package::kTrailerSize;
  for (uint32_t k = count; k-- > 0;) {
    PackageEntry& entry = m_entries[k];
    uint32_t m = 0;
    uint32_t n = 0;
    uint32_t size = 0;
    uint32_t offset = 0;
    const ResultCode damaged = ResultCode::SignatureMismatch;

    d += 4;
    if (!ReadU32FromEnd(file, end, d, m)) return Fail(damaged, Reason::TableTooLong, k);
    if (m > kMaxTextUnits) return Fail(damaged, Reason::LongDirectory, k, m);
    d += 2ull * m;
    buffer.fill(0);
    if (!ReadFromEnd(file, end, d, buffer.data(), 2 * m)) return Fail(damaged, Reason::TableTooLong, k);
    std::u16string directory = TextFromBuffer(buffer.data(), m);

    d += 4;
    if (!ReadU32FromEnd(file, end, d, n)) return Fail(damaged, Reason::TableTooLong, k);
    if (n > kMaxTextUnits) return Fail(damaged, Reason::LongName, k, n);
    d += 2ull * n;
    buffer.fill(0);
    if (!ReadFromEnd(file, end, d, buffer.data(), 2 * n)) return Fail(damaged, Reason::TableTooLong, k);
    std::u16string name = TextFromBuffer(buffer.data(), n);

    d += 4;
    if (!ReadU32FromEnd(file, end, d, size)) return Fail(damaged, Reason::TableTooLong, k);
    d += 4;
    if (!ReadU32FromEnd(file, end, d, offset)) return Fail(damaged, Reason::TableTooLong, k);
    if (offset >= package::kOffsetLimit) return Fail(damaged, Reason::OffsetPast2GiB, k, offset);

    entry.size = size;
    entry.name = std::move(name);
    entry.offset = static_cast<int32_t>(offset);
    entry.directory = std::move(directory);
    // The count grows only once the whole table has been read (below); until
    // then a failure must leave the count at 0.
  }
  m_entryCount = static_cast<int32_t>(count);
  m_packageEnd = end;
  m_tableStart = end - d;
  return ResultCode::Success;
}

// A damaged package is not read further: its digests are dropped with it.
ResultCode PackageReader::Mismatch(DigestMismatch::Part part, int32_t entry) {
  m_mismatch = DigestMismatch{part, entry};
  m_digests.clear();
  return ResultCode::SignatureMismatch;
}

ResultCode PackageReader::LoadDigests(sys::File& package) {
  m_digests.clear();
  m_mismatch = DigestMismatch{};
  if (!HasDigests()) return ResultCode::Success;
  // The list lies in front of the table; its own digest, in the signed stub image, vouches for it.
  const package::StubRecord& record = *m_record;
  // Bytes are never passed as checked by a reader that cannot check them.
  if (!package::PayloadDigest::Knows(record.algorithm)) return Mismatch(DigestMismatch::Part::Algorithm);
  if (record.entryCount != static_cast<uint32_t>(m_entryCount) ||
      record.digestsAt + record.ListBytes() > m_tableStart) {
    return Mismatch(DigestMismatch::Part::List);
  }
  static_assert(std::endian::native == std::endian::little, "the list is read as it lies");
  m_digests.resize(record.entryCount + 1u);
  const auto listBytes = static_cast<uint32_t>(record.ListBytes());
  const auto* list = reinterpret_cast<const unsigned char*>(m_digests.data());
  if (!package.SeekTo(record.digestsAt) || package.Read(m_digests.data(), listBytes) != listBytes ||
      package::PayloadDigest::Of(record.algorithm, list, listBytes) != record.listDigest) {
    return Mismatch(DigestMismatch::Part::List);
  }

  // The table and the trailer are read whole: 1024 records of at most 2 KiB each.
  std::vector<unsigned char> table(static_cast<std::size_t>(m_packageEnd - m_tableStart));
  if (!package.SeekTo(m_tableStart) ||
      package.Read(table.data(), static_cast<uint32_t>(table.size())) != static_cast<int64_t>(table.size())) {
    return Mismatch(DigestMismatch::Part::Table);
  }
  if (package::PayloadDigest::Of(record.algorithm, table.data(), table.size()) != m_digests.back())
    return Mismatch(DigestMismatch::Part::Table);
  return ResultCode::Success;
}

void PackageReader::CreateDirectoryPath(const std::u16string& path) {
  // The first unit never ends a level ("\" at position 0 is the root). "/" is a
  // separator too, so native paths work the same way.
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] == u'\\' || path[i] == u'/') sys::MakeDirectory(std::u16string_view(path).substr(0, i));
  }
  sys::MakeDirectory(path);
}

ResultCode PackageReader::ExtractEntry(sys::File& package, int32_t index, const std::u16string& directory) {
  if (index < 0 || index >= m_entryCount) return ResultCode::ExtractionFailed;
  const PackageEntry& entry = m_entries[static_cast<std::size_t>(index)];
  // An entry that could write anywhere but a plain file below the directory is
  // refused before any file-system call.
  if (!package::IsSafeEntryPath(entry.directory, entry.name)) return ResultCode::ExtractionFailed;

  const std::u16string targetDirectory = directory + entry.directory;
  CreateDirectoryPath(targetDirectory);
  const std::u16string targetPath = targetDirectory + entry.name;

  sys::File target = sys::File::CreateWrite(targetPath);
  if (!target) return ResultCode::ExtractionFailed;

  // A package that ends early, a read error or a full disk: the partial file
  // must not stay behind looking like a complete one.
  auto fail = [&]() {
    target.Close();
    sys::RemoveFile(targetPath);
    return ResultCode::ExtractionFailed;
  };

  if (!package.SeekTo(static_cast<uint32_t>(entry.offset))) return fail();
  const bool digested = !m_digests.empty();
  package::PayloadDigest digest(digested ? m_record->algorithm : 0);
  if (package::CopyEntryData(package, entry.size, target, digested ? &digest : nullptr, m_cancel) !=
      package::CopyOutcome::Copied) {
    return fail();
  }
  if (digested && digest.Value() != m_digests[static_cast<std::size_t>(index)]) {
    fail();
    return Mismatch(DigestMismatch::Part::Entry, index);
  }
  target.Close();
  return ResultCode::Success;
}

bool package::IsSettingsEntry(const PackageEntry& entry) {
  return entry.directory.empty() && sys::SameFileName(entry.name, kSettingsName);
}

ResultCode PackageReader::ReadSettingsFile(std::vector<unsigned char>& bytes) {
  bytes.clear();
  const ResultCode loaded = LoadTable(m_packagePath);
  if (loaded != ResultCode::Success) return loaded;

  const PackageEntry& last = m_entries[static_cast<std::size_t>(m_entryCount - 1)];
  if (!package::IsSettingsEntry(last)) return ResultCode::ExtractionFailed;
  if (last.size > package::kMaxSettingsBytes) return ResultCode::ExtractionFailed;

  sys::File packageFile = sys::File::OpenRead(m_packagePath);
  if (!packageFile) return ResultCode::ReopenFailed;
  if (const ResultCode checked = LoadDigests(packageFile); checked != ResultCode::Success) return checked;
  if (!packageFile.SeekTo(static_cast<uint32_t>(last.offset))) return ResultCode::ExtractionFailed;
  bytes.resize(last.size);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const int64_t got = packageFile.Read(bytes.data() + done, static_cast<uint32_t>(bytes.size() - done));
    if (got <= 0) {
      bytes.clear();
      return ResultCode::ExtractionFailed;
    }
    done += static_cast<std::size_t>(got);
  }
  if (!m_digests.empty() &&
      package::PayloadDigest::Of(m_record->algorithm, bytes.data(), bytes.size()) != m_digests[m_digests.size() - 2]) {
    bytes.clear();
    return Mismatch(DigestMismatch::Part::Entry, m_entryCount - 1);
  }
  return ResultCode::Success;
}

ResultCode PackageReader::ExtractAll(const std::u16string& directory, ExtractCallback callback, void* context) {
  if (directory.empty()) return kEmptyDirectoryResult;
  const std::u16string target = PrepareDirectory(directory);

  const ResultCode loaded = LoadTable(m_packagePath);
  if (loaded != ResultCode::Success) return loaded;

  m_callback = callback;
  m_context = context;
  int failures = 0;

  sys::File packageFile = sys::File::OpenRead(m_packagePath);
  if (!packageFile) return ResultCode::ReopenFailed;
  if (const ResultCode checked = LoadDigests(packageFile); checked != ResultCode::Success) return checked;

  for (int32_t index = m_entryCount - 1; index >= 0; --index) {
    if (CancelRequested()) return ResultCode::ExtractionFailed;
    const ResultCode written = ExtractEntry(packageFile, index, target);
    if (written == ResultCode::Success) {
      if (m_callback != nullptr) m_callback(kEventEntryWritten, &m_entries[static_cast<std::size_t>(index)], m_context);
    } else if (written == ResultCode::SignatureMismatch) {
      // A damaged package: nothing more of it is worth writing.
      return written;
    } else {
      ++failures;
    }
  }
  return failures != 0 ? ResultCode::ExtractionFailed : ResultCode::Success;
}

}  // namespace qf
