#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "package/ByteSource.h"

namespace qf::pack {

// Below this much file data a build is quick enough to go without a bar.
inline constexpr uint64_t kProgressThresholdBytes = 32ull * 1024 * 1024;

// One line such as "packing  42% [###########---------------]  12 of 29 MiB".
std::string ProgressLine(uint64_t done, uint64_t total);

// Rewrites the progress line in place whenever the percentage changes; silent
// without a stream.
class ProgressMeter {
 public:
  ProgressMeter(std::ostream* out, uint64_t total) : m_out(out), m_total(total) {}
  void Add(uint64_t bytes);
  void Finish();

 private:
  std::ostream* m_out;
  uint64_t m_total;
  uint64_t m_done = 0;
  int m_shownPercent = -1;
};

// Passes bytes through and tells the meter how many went by.
class CountingSource final : public package::ByteSource {
 public:
  CountingSource(package::ByteSource& inner, ProgressMeter& meter) : m_inner(inner), m_meter(meter) {}
  int64_t Read(void* buffer, uint32_t count) override {
    const int64_t got = m_inner.Read(buffer, count);
    if (got > 0) m_meter.Add(static_cast<uint64_t>(got));
    return got;
  }

 private:
  package::ByteSource& m_inner;
  ProgressMeter& m_meter;
};

}  // namespace qf::pack
