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
#include "run/RunSequence.h"
#include "settings/SettingsFile.h"
#include "sys/Unique.h"
#include "workspace/ProcessLauncher.h"
#include "workspace/Workspace.h"

namespace qf {

// The only window of the stub. It owns everything one run needs, runs the run
// sequence on a worker thread, waits for the installer program by polling,
// and removes the workspace when it has ended.
class ProgressDialog final : public run::DialogPort, public run::RunServices {
 public:
  explicit ProgressDialog(HINSTANCE instance);
  ~ProgressDialog() override;
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;

  // Shows the dialog and runs its modal loop; the cleanup has run when it returns.
  INT_PTR DoModal();
  // The stub's exit code once the modal run has returned.
  uint32_t ExitCode() const;

  // The extraction callback: empties the worker's message queue and steps the bar.
  static intptr_t StepProgress(int32_t event, const PackageEntry* entry, void* context);

  // DialogPort, called on the worker thread.
  void SetCaption(std::u16string_view caption) override;
  void SetProgressRange(int32_t upper) override;
  void SetProgressPosition(int32_t position) override;
  void SetProgressStep(int32_t step) override;
  void ShowMessage(const MessageText& message) override;
  void End(int result) override;
  void StartPollTimer() override;
  void Hide() override;

  // RunServices, called on the worker thread.
  std::u16string TempFolder() override;
  ResultCode ExtractSettingsFile(const std::u16string& directory) override;
  int32_t EntryCount() override;
  void LoadSettings(const std::u16string& path) override;
  void DeleteSettingsCopy(const std::u16string& path) override;
  int Validate() override;
  std::u16string FailureText() override;
  std::u16string CreateWorkspace() override;
  ResultCode ExtractAll(const std::u16string& directory) override;
  void GetExecutable(std::u16string& file, std::u16string& parameters) override;
  run::ProcessHandle LaunchProgram(const std::u16string& file, const std::u16string& parameters) override;
  void StoreProcessId(run::ProcessHandle process) override;
  bool Cancelled() override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static DWORD WINAPI RunSequence(void* dialog);

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  bool OnPaint();
  void OnTimer(UINT_PTR id);
  void EndByUser(int result);
  void Cleanup();
  bool HoldsInstallerProcess() const;

  HINSTANCE m_instance;
  HWND m_hWnd = nullptr;

  std::unique_ptr<settings::SettingsFile> m_pSettings;
  ProcessLauncher m_launcher;
  Workspace m_workspace;
  PackageReader m_reader;
  HWND m_progress = nullptr;
  DWORD m_processId = 0;
  std::u16string m_workspacePath;
  int m_processRunning = 0;
  sys::UniqueHandle m_hWorkerThread;
  HANDLE m_hInstallerProcess = nullptr;
  HICON m_hIcon = nullptr;

  platform::WmiQuery m_wmi;
  std::unique_ptr<platform::PlatformValidator> m_validator;
  // Set when the dialog ends before the run did: the worker takes no further step.
  std::atomic<bool> m_cancel{false};
  bool m_endedByUser = false;
  bool m_workerNotStarted = false;
  run::RunResult m_runResult;
  std::atomic<bool> m_runFinished{false};
  std::optional<uint32_t> m_installerExitCode;
};

}  // namespace qf
