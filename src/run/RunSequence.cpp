#include "run/RunSequence.h"

namespace qf::run {
namespace {

RunResult Stopped(RunOutcome outcome, ResultCode code = ResultCode::Success) { return RunResult{outcome, code}; }

void Refuse(DialogPort& dialog, const MessageText& message) {
  dialog.ShowMessage(message);
  dialog.End(kDialogCancel);
}

}  // namespace

void ReportResult(DialogPort& dialog, ResultCode code) {
  if (const auto message = MessageForResult(code)) dialog.ShowMessage(*message);
  if (code != ResultCode::Success) dialog.End(kDialogCancel);
}

RunResult RunSteps(DialogPort& dialog, RunServices& services) {
  // Settings: extracted alone into the temporary folder, read, and deleted.
  const std::u16string temp = services.TempFolder();
  const ResultCode settingsCode = services.ExtractSettingsFile(temp);
  if (services.Cancelled()) return Stopped(RunOutcome::Cancelled);
  ReportResult(dialog, settingsCode);
  if (settingsCode != ResultCode::Success) return Stopped(RunOutcome::PackageFailed, settingsCode);

  // The temporary folder ends in a backslash.
  const std::u16string settingsPath = temp + u"$Settings.ini";
  dialog.SetCaption(text::kPhaseValidating);
  services.LoadSettings(settingsPath);
  services.DeleteSettingsCopy(settingsPath);

  dialog.SetProgressRange(services.EntryCount());
  dialog.SetProgressPosition(0);
  dialog.SetProgressStep(1);

  const int allowed = services.Validate();
  if (services.Cancelled()) return Stopped(RunOutcome::Cancelled);
  if (allowed == 0) {
    const std::u16string shown = ExpandLineBreaks(services.FailureText());
    Refuse(dialog, PlatformFailureMessage(shown));
    return Stopped(RunOutcome::PlatformRefused);
  }

  dialog.SetCaption(text::kPhaseExtracting);
  const std::u16string workspace = services.CreateWorkspace();
  if (services.Cancelled()) return Stopped(RunOutcome::Cancelled);
  if (workspace == kNoWorkspace) {
    Refuse(dialog, kNoRoomMessage);
    return Stopped(RunOutcome::NoRoom);
  }

  const ResultCode extractCode = services.ExtractAll(workspace);
  if (services.Cancelled()) return Stopped(RunOutcome::Cancelled);
  ReportResult(dialog, extractCode);
  if (extractCode != ResultCode::Success) return Stopped(RunOutcome::PackageFailed, extractCode);
  // The installer program must not find the settings beside it.
  services.DeleteSettingsCopy(workspace + u"\\$Settings.ini");

  std::u16string file;
  std::u16string parameters;
  services.GetExecutable(file, parameters);
  const ProcessHandle process = services.LaunchProgram(workspace + u"\\" + file, parameters);
  if (process == LaunchFailedMarker()) {
    Refuse(dialog, kInvalidInstallerMessage);
    return Stopped(RunOutcome::InvalidInstaller);
  }
  services.StoreProcessId(process);
  dialog.StartPollTimer();
  dialog.Hide();
  return Stopped(RunOutcome::InstallerStarted);
}

}  // namespace qf::run
