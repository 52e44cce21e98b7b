#pragma once

#include <cstddef>
#include <string_view>

namespace qf::settings {

// Names, keys and values travel in buffers of 256 UTF-16 units including the
// terminating zero, so the longest text has 255 units.
inline constexpr std::size_t kTextBufferUnits = 256;
inline constexpr std::size_t kMaxTextUnits = kTextBufferUnits - 1;

// Longer texts are cut, not refused: a cut key or value still reads as its
// first 255 units, which is what a fixed buffer of that width holds. The cut
// never splits a surrogate pair, so the result stays well-formed UTF-16 when
// the input was.
inline std::u16string_view CutToWidth(std::u16string_view text, std::size_t maxUnits = kMaxTextUnits) {
  if (text.size() <= maxUnits) return text;
  std::size_t length = maxUnits;
  if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
  return text.substr(0, length);
}

}  // namespace qf::settings
