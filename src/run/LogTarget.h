#pragma once

#include <cstdint>

namespace qf::run {

// What the stub learns of an open file: whether it is a link (opened itself,
// not followed) and which file it is on which volume, whatever its name.
struct OpenFileFacts {
  bool link = false;
  uint32_t volume = 0;
  uint32_t indexHigh = 0;
  uint32_t indexLow = 0;
};

// Whether the /LOG file may be appended to: never a link, and never the
// stub's own file (`self`), whose package must stay at its end.
inline bool MayAppendLog(const OpenFileFacts& log, const OpenFileFacts& self) {
  return !log.link && (log.volume != self.volume || log.indexHigh != self.indexHigh || log.indexLow != self.indexLow);
}

}  // namespace qf::run
