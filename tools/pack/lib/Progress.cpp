#include "pack/lib/Progress.h"

namespace qf::pack {
namespace {
constexpr int kBarWidth = 30;
constexpr int kFull = 100;
constexpr uint64_t kMiB = 1024 * 1024;

int Percent(uint64_t done, uint64_t total) {
  if (total == 0 || done >= total) return kFull;
  return static_cast<int>(done * kFull / total);
}
}  // namespace

std::string ProgressLine(uint64_t done, uint64_t total) {
  const int percent = Percent(done, total);
  const int filled = percent * kBarWidth / kFull;
  std::string line = "packing ";
  const std::string number = std::to_string(percent);
  line += std::string(3 - number.size(), ' ') + number + "% [";
  line += std::string(static_cast<std::size_t>(filled), '#') +
          std::string(static_cast<std::size_t>(kBarWidth - filled), '-');
  line += "] " + std::to_string(done / kMiB) + " of " + std::to_string(total / kMiB) + " MiB";
  return line;
}

void ProgressMeter::Add(uint64_t bytes) {
  m_done += bytes;
  const int percent = Percent(m_done, m_total);
  if (m_out == nullptr || percent == m_shownPercent) return;
  m_shownPercent = percent;
  *m_out << '\r' << ProgressLine(m_done, m_total) << std::flush;
}

void ProgressMeter::Finish() {
  if (m_out == nullptr || m_shownPercent < 0) return;
  *m_out << '\n' << std::flush;
}

}  // namespace qf::pack
