#pragma once

// Everything about the on-disk package in one place.
//
// An installer is the stub executable followed by the package: every file's
// bytes back to back, then one record per file, then a 32-byte trailer. All
// integers are u32 little-endian; texts are UTF-16LE without terminator, each
// followed (not preceded) by its length in characters, so that the table can be
// parsed from the end of the file backwards.
//
//   record:  offset u32 | size u32 | name[n] | n u32 | directory[m] | m u32
//   trailer: entryCount u32 | "1.00" (8 bytes) | "TavixCorp." (20 bytes)
//
// Signing an installer appends a certificate table after the trailer, aligned
// by up to 7 zero bytes. When the PE security directory names a table that ends
// the file, the package ends in front of the table and its padding, and only
// there: the signature does not cover the table, so its bytes are never read.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qf::package {

inline constexpr std::u16string_view kTag = u"TavixCorp.";
inline constexpr std::u16string_view kVersion = u"1.00";

inline constexpr uint32_t kTrailerSize = 32;
inline constexpr uint32_t kTagBytes = 20;
inline constexpr uint32_t kVersionBytes = 8;

// Zero bytes a signing tool may put between the trailer and the certificate table.
inline constexpr uint32_t kMaxSignaturePadding = 7;

inline constexpr uint32_t kMaxEntries = 1024;
// The reader's text buffer is 1024 bytes and keeps room for a terminating zero.
inline constexpr uint32_t kTextBufferBytes = 1024;
inline constexpr uint32_t kMaxTextUnits = kTextBufferBytes / 2 - 1;  // 511
// Offsets are used as signed 32-bit file positions.
inline constexpr uint64_t kOffsetLimit = 0x80000000u;

inline constexpr uint32_t kRecordFixedBytes = 16;
inline constexpr uint32_t RecordBytes(uint32_t nameUnits, uint32_t directoryUnits) {
  return kRecordFixedBytes + 2 * nameUnits + 2 * directoryUnits;
}

// The settings file is always the last entry, with an empty directory.
inline constexpr std::u16string_view kSettingsName = u"$Settings.ini";

// The extraction copy loop moves data through one buffer of this size. Each
// chunk costs a read and a write call; with 4 KiB chunks those calls, not the
// copying, set the pace (measured: 262,144 of each per GiB, less than half the
// speed of a plain file copy), while 64 KiB comes close to the copy.
inline constexpr uint32_t kCopyChunkBytes = 64 * 1024;
// Where the system copies between files itself, it is asked for this much at
// a time: cancelling still takes effect within milliseconds.
inline constexpr uint32_t kCopyRequestBytes = 8 * 1024 * 1024;
// The settings are read whole into memory; no settings file comes near this.
inline constexpr uint32_t kMaxSettingsBytes = 16 * 1024 * 1024;

}  // namespace qf::package
