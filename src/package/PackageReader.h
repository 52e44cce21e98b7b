#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "package/PackageEntry.h"
#include "package/ResultCode.h"
#include "package/StubRecord.h"

namespace qf {
namespace sys {
class File;
}

namespace package {
// Where the package in an open installer ends: the end of the file, or, for a
// signed installer, in front of the certificate table and its zero padding.
// No value when the tag is at neither place.
std::optional<uint64_t> FindPackageEnd(sys::File& file);
}  // namespace package

// Where and why the last LoadTable failed, for the tools to say.
struct LoadFailure {
  enum class Reason {
    None,
    CannotOpen,
    NoTag,    // neither the file nor the part in front of a signature ends in the tag
    Version,  // `version` holds the units read
    NoEntries,
    TooManyEntries,  // `value` is the count announced
    TableTooLong,    // record `record` runs in front of the file's start
    LongDirectory,   // record `record`: `value` units
    LongName,        // record `record`: `value` units
    OffsetPast2GiB,  // record `record`: offset `value`
  };
  Reason reason = Reason::None;
  uint32_t record = 0;
  uint32_t count = 0;
  uint32_t value = 0;
  std::u16string version;
};

// What differed from the digests the builder recorded.
struct DigestMismatch {
  enum class Part {
    None,
    List,       // the digest list: missing, damaged, or for another number of entries
    Table,      // the file table and the trailer
    Entry,      // the data of entry `entry`
    Algorithm,  // the record names an algorithm this reader does not check
  };
  Part part = Part::None;
  int32_t entry = -1;
};

// Knows where the package is and what it holds: verifies the trailer, reads the
// file table into a fixed table of 1024 entries, and extracts entries. Every
// extraction loads the table afresh; no file stays open between calls.
class PackageReader {
 public:
  // The package is the running executable.
  PackageReader();
  explicit PackageReader(std::u16string packagePath);
  virtual ~PackageReader() = default;

  std::u16string GetPackagePath() const { return m_packagePath; }

  ResultCode LoadTable(const std::u16string& path);
  void Clear();
  int32_t GetEntryCount() const { return m_entryCount; }
  const PackageEntry& GetEntry(int32_t index) const { return m_entries.at(static_cast<std::size_t>(index)); }
  // After a successful load: where the trailer ends (the end of the file, or the
  // start of a signed installer's certificate table and its padding) and where
  // the file table starts. 0 otherwise.
  uint64_t GetPackageEnd() const { return m_packageEnd; }
  uint64_t GetTableStart() const { return m_tableStart; }
  const LoadFailure& GetLoadFailure() const { return m_failure; }

  // Reads the last entry, the settings file, into `bytes`; nothing is written.
  ResultCode ReadSettingsFile(std::vector<unsigned char>& bytes);
  // Writes every entry into `directory`, last entry first, calling `callback`
  // after each one written.
  ResultCode ExtractAll(const std::u16string& directory, ExtractCallback callback, void* context);
  // Copies one entry; `directory` ends in "\".
  ResultCode ExtractEntry(sys::File& package, int32_t index, const std::u16string& directory);
  // The stub's record: when the builder filled in its digests, the table is
  // checked at every load that extracts, and every entry as it is copied; a
  // difference is a damaged package (SignatureMismatch). Without them
  // (another writer, an older builder) nothing is checked.
  void SetStubRecord(std::optional<package::StubRecord> record) { m_record = std::move(record); }
  bool HasDigests() const { return m_record && m_record->HasDigests(); }
  uint32_t GetDigestAlgorithm() const { return m_record ? m_record->algorithm : 0; }
  const DigestMismatch& GetDigestMismatch() const { return m_mismatch; }
  // Loads the table and checks it, the list and every entry's data against the
  // digests as extraction does, last entry first, without writing anything.
  // Success, with nothing checked, when there are no digests.
  ResultCode CheckDigests();

  // A flag that, once set, stops extraction at the next chunk or entry: the
  // entry being written is removed and the operation fails.
  void SetCancelFlag(const std::atomic<bool>* flag) { m_cancel = flag; }

  // Creates every level of a directory path, ignoring failures.
  static void CreateDirectoryPath(const std::u16string& path);

 private:
  std::u16string m_packagePath;
  std::vector<PackageEntry> m_entries;
  int32_t m_entryCount = 0;
  uint64_t m_packageEnd = 0;
  uint64_t m_tableStart = 0;
  ExtractCallback m_callback = nullptr;
  void* m_context = nullptr;
  const std::atomic<bool>* m_cancel = nullptr;
  LoadFailure m_failure;
  std::optional<package::StubRecord> m_record;
  std::vector<uint32_t> m_digests;  // per entry, then the table's; empty without digests
  DigestMismatch m_mismatch;

  ResultCode Fail(ResultCode code, LoadFailure::Reason reason, uint32_t record = 0, uint32_t value = 0);
  // After a successful LoadTable: reads the digest list and checks it and the table.
  ResultCode LoadDigests(sys::File& package);
  ResultCode Mismatch(DigestMismatch::Part part, int32_t entry = -1);

  bool CancelRequested() const { return m_cancel != nullptr && m_cancel->load(); }
};

}  // namespace qf
