#include "package/EntryCopy.h"

#include <algorithm>
#include <array>

#include "package/PackageFormat.h"
#include "package/PayloadDigest.h"
#include "sys/File.h"

namespace qf::package {

CopyOutcome CopyEntryData(sys::File& package, uint32_t size, sys::File& target, PayloadDigest* digest,
                          const std::atomic<bool>* cancel) {
  std::array<unsigned char, kCopyChunkBytes> chunk;
  for (uint32_t remaining = size; remaining > 0;) {
    if (cancel != nullptr && cancel->load()) return CopyOutcome::Cancelled;
    int64_t got = 0;
    if (digest != nullptr) {
      got = package.Read(chunk.data(), std::min<uint32_t>(remaining, static_cast<uint32_t>(chunk.size())));
      if (got > 0) digest->Add(chunk.data(), static_cast<std::size_t>(got));
      if (got > 0 && !target.WriteAll(chunk.data(), static_cast<std::size_t>(got))) got = -1;
    } else {
      got = target.CopyFrom(package, std::min(remaining, kCopyRequestBytes), chunk.data(),
                            static_cast<uint32_t>(chunk.size()));
    }
    if (got == 0) return CopyOutcome::ReadFailed;
    if (got < 0) return CopyOutcome::WriteFailed;
    remaining -= static_cast<uint32_t>(got);
  }
  return CopyOutcome::Copied;
}

}  // namespace qf::package
