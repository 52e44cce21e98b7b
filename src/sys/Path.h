#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qf::sys {

// Paths travel in buffers of 260 UTF-16 units including the terminating zero,
// so the longest usable path has 259 units. Both file layers refuse longer ones,
// so limits behave the same on every platform.
inline constexpr std::size_t kMaxPathUnits = 260;

inline bool PathFits(std::u16string_view path) { return !path.empty() && path.size() < kMaxPathUnits; }

}  // namespace qf::sys
