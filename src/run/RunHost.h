#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "run/Messages.h"
#include "run/ResultCode.h"

namespace qf::run {

// A process handle as the run hands it around; the launch-failure marker has all bits set.
using ProcessHandle = void*;
inline ProcessHandle LaunchFailedMarker() { return reinterpret_cast<ProcessHandle>(~uintptr_t{0}); }

inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;

// The progress dialog as the worker sees it: every call is a window operation
// on the dialog's thread (sent, so it has happened when the call returns),
// except End, which is a request the dialog's thread carries out.
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
  virtual void StartPollTimer() = 0;
  virtual void Hide() = 0;
};

// Everything else one run touches: the package, the settings, the platform
// check, the workspace and the launch. The dialog implements it over the
// objects it owns; the values the dialog's thread later needs (workspace path,
// installer process) are stored by these calls before the run looks at them.
class RunServices {
 public:
  virtual ~RunServices() = default;
  virtual std::u16string TempFolder() = 0;
  virtual ResultCode ExtractSettingsFile(const std::u16string& directory) = 0;
  virtual int32_t EntryCount() = 0;
  virtual void LoadSettings(const std::u16string& path) = 0;
  virtual void DeleteSettingsCopy(const std::u16string& path) = 0;
  virtual int Validate() = 0;  // 1: this machine may run the installer
  virtual std::u16string FailureText() = 0;
  virtual std::u16string CreateWorkspace() = 0;  // the path, or " " when there is no room
  virtual ResultCode ExtractAll(const std::u16string& directory) = 0;
  virtual void GetExecutable(std::u16string& file, std::u16string& parameters) = 0;
  virtual ProcessHandle LaunchProgram(const std::u16string& file, const std::u16string& parameters) = 0;
  virtual void StoreProcessId(ProcessHandle process) = 0;
  // The dialog was ended while the run was still going: stop without another step or message.
  virtual bool Cancelled() = 0;
};

}  // namespace qf::run
