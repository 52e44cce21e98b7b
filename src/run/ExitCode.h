#pragma once

#include <cstdint>
#include <optional>

#include "run/RunSequence.h"

namespace qf::run {

// The stub's process exit code. When the installer program ran and ended, it
// is the installer's own code; otherwise a fixed code per way of failing, so
// that a silent deployment can tell "installed" from "refused on this
// hardware" from "damaged package". Package failures use their result code.
inline constexpr uint32_t kExitPlatformRefused = 1101;
inline constexpr uint32_t kExitNoRoom = 1102;
inline constexpr uint32_t kExitInvalidInstaller = 1103;
inline constexpr uint32_t kExitAnotherInstance = 1104;
inline constexpr uint32_t kExitCancelled = 1105;
inline constexpr uint32_t kExitNoWorker = 1106;
inline constexpr uint32_t kExitInstallerStillRunning = 1107;

// `installerExit` is the installer's exit code once it has ended, or nothing
// when it was still running as the dialog ended.
uint32_t ExitCodeFor(const RunResult& run, bool endedByUser, std::optional<uint32_t> installerExit);

}  // namespace qf::run
