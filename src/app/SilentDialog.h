#pragma once

#include <windows.h>

#include "app/InstallerRun.h"
#include "run/RunHost.h"
#include "run/RunLog.h"
#include "sys/Unique.h"

namespace qf {

// The stub run with /S: no window and no message box. The run's steps show
// nothing, a message the run would show goes to the log only, and every
// outcome is the exit code. The run ends when the run ends it: at a failure,
// or once the installer program it started has ended.
class SilentDialog final : public run::DialogPort {
 public:
  SilentDialog(InstallerRun& run, const run::RunLog& log);
  SilentDialog(const SilentDialog&) = delete;
  SilentDialog& operator=(const SilentDialog&) = delete;

  // Runs the whole run on this thread's behalf; returns when it has ended.
  void Run();

  void SetCaption(std::u16string_view) override {}
  void SetProgressRange(int32_t) override {}
  void SetProgressPosition(int32_t) override {}
  void SetProgressStep(int32_t) override {}
  void ShowMessage(const MessageText& message) override;
  void End(int result) override;
  void StepProgress() override {}
  void Hide() override {}

 private:
  InstallerRun& m_run;
  const run::RunLog& m_log;
  sys::UniqueHandle m_hEnded;
};

}  // namespace qf
