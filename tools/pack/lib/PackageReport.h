#pragma once

// Looking inside an installer: its table as the stub's reader loads it, the
// reason when the reader refuses it, and the further checks of verify.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pack/lib/Branding.h"
#include "pack/lib/SettingsLint.h"
#include "package/PackageEntry.h"
#include "package/ResultCode.h"
#include "package/StubRecord.h"

namespace qf::pack {

struct Inspection {
  ResultCode code = ResultCode::OpenFailed;
  std::string reason;  // why the reader refused the file; empty on success
  uint64_t fileSize = 0;
  uint64_t packageEnd = 0;  // below fileSize for a signed installer
  uint64_t tableStart = 0;
  std::vector<PackageEntry> entries;
  std::optional<package::StubRecord> stub;  // none when the program in front of the package is no stub of ours
  std::optional<ShownBranding> branding;    // the program's version information and icon, when it has resources

  bool Loaded() const { return code == ResultCode::Success; }
  bool Signed() const { return Loaded() && packageEnd < fileSize; }
};

Inspection Inspect(const std::u16string& path);

// Who the stub in front of the package is and what digests its record holds:
// "Quillfen 1.2, i386, payload digests: XXH32 for 4 entries".
std::string StubIdentity(const Inspection& inspection);

// The version information and the icon's sizes, one line each:
// "1.2.0.0, CompanyName \"Tavix\", ..." and "16, 32, 48 pixels".
std::string VersionText(const Inspection& inspection);
std::string IconText(const Inspection& inspection);

// `name` is how the installer is shown.
std::string ListText(const Inspection& inspection, const std::string& name);
std::string ListJson(const Inspection& inspection, const std::string& name);

struct Verification {
  std::vector<std::string> errors;    // what the stub would refuse or get wrong
  std::vector<std::string> warnings;  // what works, but is likely a mistake
  std::vector<Finding> settings;      // the settings' warnings
};

// Everything beyond the reader's own checks; `inspection` must be loaded.
Verification Verify(const std::u16string& path, const Inspection& inspection);

// Why entry `index`'s data cannot be its own: it passes the start of the file
// table, or overlaps another entry's data. Empty when it is sound.
std::string DataDamage(const Inspection& inspection, std::size_t index);

// The settings entry is larger than the stub reads.
std::string SettingsTooLarge(const PackageEntry& settings);

// The settings exactly as the stub reads them (FF FE, then UTF-16LE): a built
// installer's last entry, or a settings file converted as build converts it.
struct PackedSettings {
  std::vector<unsigned char> bytes;
  std::string error;  // why there are none; empty on success
};
PackedSettings ReadSettingsAsPacked(const std::u16string& path);

// The bytes of one entry; no value when they cannot be read whole or pass `limit`.
std::optional<std::vector<unsigned char>> ReadEntryBytes(const std::u16string& path, const PackageEntry& entry,
                                                         uint32_t limit);

// The path of an entry below the workspace, as the stub joins it.
inline std::u16string EntryPath(const PackageEntry& e) { return e.directory + e.name; }

}  // namespace qf::pack
