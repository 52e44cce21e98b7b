#pragma once

#include "run/RunHost.h"

namespace qf::run {

// How a run ended, for the process exit code.
enum class RunOutcome {
  NotFinished,       // the run has not ended (or never started)
  InstallerStarted,  // the installer program runs; the run waits for it
  PackageFailed,     // a package operation failed; see the code
  PlatformRefused,
  NoRoom,
  InvalidInstaller,
  Cancelled,
};

struct RunResult {
  RunOutcome outcome = RunOutcome::NotFinished;
  ResultCode code = ResultCode::Success;
};

// Shows the message a result code has, if any, then ends the dialog with the
// cancel result unless the code is success.
void ReportResult(DialogPort& dialog, ResultCode code);

// One run, from the settings to the start of the installer program.
RunResult RunSteps(DialogPort& dialog, RunServices& services);

}  // namespace qf::run
