#include "run/ExitCode.h"

namespace qf::run {

uint32_t ExitCodeFor(const RunResult& run, bool endedByUser, std::optional<uint32_t> installerExit) {
  switch (run.outcome) {
    case RunOutcome::InstallerStarted:
      if (installerExit) return *installerExit;
      return endedByUser ? kExitCancelled : kExitInstallerStillRunning;
    case RunOutcome::PackageFailed:
      return static_cast<uint32_t>(run.code);
    case RunOutcome::PlatformRefused:
      return kExitPlatformRefused;
    case RunOutcome::NoRoom:
      return kExitNoRoom;
    case RunOutcome::InvalidInstaller:
      return kExitInvalidInstaller;
    case RunOutcome::Cancelled:
    case RunOutcome::NotFinished:
      return kExitCancelled;
  }
  return kExitCancelled;
}

}  // namespace qf::run
