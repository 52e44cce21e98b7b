// Kept apart from the rest of the reader: only the tools check a package
// without extracting it, and the stub, which never calls this, links none of it.
#include <algorithm>
#include <vector>

#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "package/PayloadDigest.h"
#include "sys/File.h"

namespace qf {

ResultCode PackageReader::CheckDigests() {
  const ResultCode loaded = LoadTable(m_packagePath);
  if (loaded != ResultCode::Success) return loaded;
  sys::File packageFile = sys::File::OpenRead(m_packagePath);
  if (!packageFile) return ResultCode::ReopenFailed;
  if (const ResultCode checked = LoadDigests(packageFile); checked != ResultCode::Success) return checked;
  if (m_digests.empty()) return ResultCode::Success;

  std::vector<unsigned char> chunk(package::kCopyChunkBytes);
  for (int32_t index = m_entryCount - 1; index >= 0; --index) {
    const PackageEntry& entry = m_entries[static_cast<std::size_t>(index)];
    if (!packageFile.SeekTo(static_cast<uint32_t>(entry.offset))) return ResultCode::ExtractionFailed;
    package::PayloadDigest digest(m_record->algorithm);
    for (uint32_t remaining = entry.size; remaining > 0;) {
      const int64_t got =
          packageFile.Read(chunk.data(), std::min<uint32_t>(remaining, static_cast<uint32_t>(chunk.size())));
      if (got <= 0) return ResultCode::ExtractionFailed;
      digest.Add(chunk.data(), static_cast<std::size_t>(got));
      remaining -= static_cast<uint32_t>(got);
    }
    if (digest.Value() != m_digests[static_cast<std::size_t>(index)]) {
      return Mismatch(DigestMismatch::Part::Entry, index);
    }
  }
  return ResultCode::Success;
}

}  // namespace qf
