#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "package/PackageReader.h"
#include "platform/PlatformValidator.h"
#include "platform/WmiQuery.h"
#include "run/ExitCode.h"
#include "run/RunLog.h"
#include "run/RunSequence.h"
#include "run/StubOptions.h"
#include "settings/SettingsFile.h"
#include "sys/Unique.h"
#include "workspace/ProcessLauncher.h"
#include "workspace/Workspace.h"

namespace qf {

// How often the process list is looked at for the installer's end, beside the
// wait on its process handle.
inline constexpr UINT kPollIntervalMs = 300;

// One run of the stub: owns every object the run needs, runs the run sequence
// on a worker thread of its own, holds the installer's process, and cleans up.
// The worker publishes what the cleanup needs (the workspace path, the
// installer's process, the run's result) under a lock; the cleanup reads only
// that, so a worker that has not stopped in time is never raced.
class InstallerRun final : public run::RunServices, private platform::ValidationObserver {
 public:
  // `record` is the stub's own: with the builder's digests every entry is checked as it is copied.
  // `options` say which parameters the installer program gets.
  InstallerRun(const run::RunLog& log, std::optional<package::StubRecord> record, const run::StubOptions& options);
  ~InstallerRun() override;
  InstallerRun(const InstallerRun&) = delete;
  InstallerRun& operator=(const InstallerRun&) = delete;

  // Starts the run sequence with `dialog` on the worker thread; false when no
  // thread could be made.
  bool Start(run::DialogPort& dialog);
  // The user ended the dialog: the worker takes no further step.
  void Cancel();
  // Once the dialog has ended: stops the worker (waiting a bounded time), ends
  // an installer that still runs, deletes the workspace and, once it is gone,
  // withdraws its removal at logon.
  void Finish();
  // The process exit code and its meaning, after Finish.
  run::StubExit ExitCode() const;
  // After Finish: the worker did not stop in time and may still use the run.
  bool WorkerStuck() const { return m_workerStuck; }

  // RunServices, called on the worker thread.
  ResultCode ReadSettings() override;
  int32_t EntryCount() override;
  bool Validate() override;
  std::u16string FailureText() override;
  run::WorkspaceResult CreateWorkspace() override;
  ResultCode ExtractAll(const std::u16string& directory) override;
  void DeleteSettingsCopy(const std::u16string& workspace) override;
  void GetExecutable(std::u16string& file, std::u16string& parameters) override;
  bool LaunchProgram(const std::u16string& workspace, const std::u16string& file,
                     const std::u16string& parameters) override;
  bool Cancelled() override;

 private:
  static DWORD WINAPI Work(void* self);
  // On the worker, once the installer program runs: true when it has ended,
  // false when the run was stopped first.
  bool WaitForInstallerEnd();
  // The platform check's steps, for the log.
  void OnSwitches(std::u16string_view cpu, std::u16string_view bios, std::u16string_view baseboard) override;
  void OnStep(const platform::CheckStep& step) override;
  void LogPackage();
  void LogMismatch() const;
  void LogEntry(int32_t index, std::u16string_view what) const;
  void LogEntriesUpTo(int32_t written);
  static intptr_t OnEntryWritten(int32_t event, const PackageEntry* entry, void* context);

  const run::RunLog& m_log;
  const run::StubOptions& m_options;
  // Owned by the worker while it runs.
  PackageReader m_reader;
  std::unique_ptr<settings::SettingsFile> m_pSettings;
  platform::WmiQuery m_wmi;
  std::unique_ptr<platform::PlatformValidator> m_validator;
  Workspace m_workspace;
  ProcessLauncher m_launcher;
  run::DialogPort* m_dialog = nullptr;
  int32_t m_nextEntry = 0;  // for the log: entries below it are not accounted for yet

  // Owned by the dialog's thread.
  sys::UniqueHandle m_hWorkerThread;
  bool m_workerNotStarted = false;
  bool m_workerStuck = false;
  bool m_endedByUser = false;
  std::optional<uint32_t> m_installerExitCode;
  std::atomic<bool> m_cancel{false};

  // Published by the worker, under m_lock.
  mutable CRITICAL_SECTION m_lock;
  std::optional<std::u16string> m_workspacePath;
  sys::UniqueHandle m_hInstallerProcess;
  DWORD m_processId = 0;
  std::optional<run::RunResult> m_runResult;
};

}  // namespace qf
