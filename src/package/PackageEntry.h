#pragma once

#include <cstdint>
#include <string>

namespace qf {

// One file of the package as the reader holds it. The record's lengths are not
// kept: each text is cut at its length or at its first zero character.
struct PackageEntry {
  std::u16string name;
  std::u16string directory;
  uint32_t size = 0;
  int32_t offset = 0;  // a signed file position, from the beginning of the file
};

namespace package {
// The settings file is always the last entry: "$Settings.ini" with no folder,
// its name compared as Windows compares file names. A last entry of another
// name holds no settings.
bool IsSettingsEntry(const PackageEntry& entry);
}  // namespace package

// Called by extraction after each entry has been written; the result is ignored.
inline constexpr int32_t kEventEntryWritten = 1001;
using ExtractCallback = intptr_t (*)(int32_t event, const PackageEntry* entry, void* context);

}  // namespace qf
