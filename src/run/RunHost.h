#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "run/Messages.h"
#include "package/ResultCode.h"

namespace qf::run {

inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;

// The progress dialog as the worker sees it: every call is a window operation
// on the dialog's thread (sent, so it has happened when the call returns),
// except End, which is a request the dialog's thread carries out. The dialog
// only shows: the run waits for the installer program and ends it.
class DialogPort {
 public:
  virtual ~DialogPort() = default;
  virtual void SetCaption(std::u16string_view caption) = 0;
  virtual void SetProgressRange(int32_t upper) = 0;  // 0 to upper
  virtual void SetProgressPosition(int32_t position) = 0;
  virtual void SetProgressStep(int32_t step) = 0;
  // Modal, owned by the dialog, OK button only; returns when dismissed.
  virtual void ShowMessage(const MessageText& message) = 0;
  virtual void End(int result) = 0;
  // One more entry written: the bar advances by its step.
  virtual void StepProgress() = 0;
  virtual void Hide() = 0;
};

// The workspace, or why there is none.
struct WorkspaceResult {
  std::optional<std::u16string> path;
  bool noRoom = false;  // without a path: no drive had room; otherwise it could not be made
};

// Everything else one run touches: the package, the settings, the platform
// check, the workspace and the launch. The run object implements it over the
// objects it owns and keeps what the cleanup later needs (the workspace path,
// the installer's process).
class RunServices {
 public:
  virtual ~RunServices() = default;
  // Reads the package's settings into memory. ExtractionFailed also for settings
  // that are not UTF-16LE with the byte-order mark.
  virtual ResultCode ReadSettings() = 0;
  virtual int32_t EntryCount() = 0;
  virtual bool Validate() = 0;  // true: this machine may run the installer
  virtual std::u16string FailureText() = 0;
  virtual WorkspaceResult CreateWorkspace() = 0;
  virtual ResultCode ExtractAll(const std::u16string& directory) = 0;
  // Deletes the copy of the settings that the extraction wrote into the workspace.
  virtual void DeleteSettingsCopy(const std::u16string& workspace) = 0;
  virtual void GetExecutable(std::u16string& file, std::u16string& parameters) = 0;
  // Starts `file` (as the settings name it) from the workspace; false when it is
  // not a program the package wrote there, or the shell refused it.
  virtual bool LaunchProgram(const std::u16string& workspace, const std::u16string& file,
                             const std::u16string& parameters) = 0;
  // The dialog was ended while the run was still going: stop without another step or message.
  virtual bool Cancelled() = 0;
};

}  // namespace qf::run
