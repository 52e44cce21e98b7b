#pragma once

// The one copy of an entry's data from the package into its file, for the
// stub's extraction and the tools' alike.

#include <atomic>
#include <cstdint>

namespace qf::sys {
class File;
}

namespace qf::package {

class PayloadDigest;

enum class CopyOutcome { Copied, ReadFailed, WriteFailed, Cancelled };

// Copies `size` bytes from the package's current position into `target`.
// With a digest every byte passes through it on its way, read once; without,
// the system may copy between the files itself. `cancel`, when given, is read
// before each piece.
CopyOutcome CopyEntryData(sys::File& package, uint32_t size, sys::File& target, PayloadDigest* digest = nullptr,
                          const std::atomic<bool>* cancel = nullptr);

}  // namespace qf::package
