#include "run/ExitCode.h"

namespace qf::run {

StubExit ExitFor(const RunResult& run, bool endedByUser, std::optional<uint32_t> installerExit) {
  switch (run.outcome) {
    case RunOutcome::InstallerStarted:
      if (installerExit) return {*installerExit, u"the installer's own"};
      // Ended by the stub, not by the user: nothing says how far it got.
      if (!endedByUser) return kExitFatal;
      break;
    case RunOutcome::PackageFailed:
      switch (run.code) {
        case ResultCode::OpenFailed:
        case ResultCode::ReopenFailed:
          return {kExitPackageOpenFailed, u"package not opened"};
        case ResultCode::SignatureMismatch:
        case ResultCode::NoFiles:
          return {kExitPackageInvalid, u"invalid package"};
        case ResultCode::VersionMismatch:
          return {kExitPackageVersion, u"unknown package format"};
        default:
          return kExitFatal;
      }
    case RunOutcome::PlatformRefused:
      return {kExitPlatformUnsupported, u"machine not supported"};
    case RunOutcome::NoRoom:
      return {kExitNoRoom, u"no room"};
    case RunOutcome::InvalidInstaller:
      return kExitFatal;
    case RunOutcome::Cancelled:
    case RunOutcome::NotFinished:
      break;
  }
  return {kExitUserExit, u"cancelled"};
}

}  // namespace qf::run
