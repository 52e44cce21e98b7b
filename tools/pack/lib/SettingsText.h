#pragma once

// The settings file as the stub reads it: UTF-16LE with the byte-order mark
// FF FE and lines ending in CR LF. Authors may write it in UTF-8 or UTF-16 with
// any line ending; it is converted once, when the installer is built.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "package/PackageFormat.h"

namespace qf::pack {

using Bytes = std::vector<unsigned char>;

// The settings as packed are at most package::kMaxSettingsBytes, the stub's
// own limit. A source twice that size cannot fit once converted: UTF-16 takes
// at least two bytes for every three of UTF-8.
inline constexpr uint64_t kMaxSettingsSourceBytes = 2ull * package::kMaxSettingsBytes;

// The stub's limit as messages state it: "the stub reads at most 16 MiB".
std::string SettingsLimit();

struct DecodedSettings {
  std::u16string text;  // without byte-order mark, every line ending CR LF
  std::string error;    // why the bytes are no settings text; empty on success
};

// Accepts UTF-8 (with or without its mark) and UTF-16 with a mark, either byte
// order. Every line ending (CR LF, LF, CR) becomes CR LF, and a last line
// without one gets one, so that a header there is read whole.
DecodedSettings DecodeSettingsSource(std::span<const unsigned char> bytes);

// Exactly the bytes the stub reads: FF FE, then the text in UTF-16LE.
Bytes EncodeSettings(std::u16string_view text);

// The text of settings as packed (FF FE and UTF-16LE), without the mark; no
// value when the bytes lack the mark. A last odd byte is no unit and is dropped,
// as the stub drops it.
std::optional<std::u16string> DecodePackedSettings(std::span<const unsigned char> bytes);

}  // namespace qf::pack
