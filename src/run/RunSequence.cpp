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
  // Settings: read from the package into memory; nothing is written for them.
  const ResultCode settingsCode = services.ReadSettings();
  if (services.Cancelled()) return Stopped(RunOutcome::Cancelled);
  ReportResult(dialog, settingsCode);
  if (settingsCode != ResultCode::Success) return Stopped(RunOutcome::PackageFailed, settingsCode);

  dialog.SetCaption(text::kPhaseValidating);
  dialog.SetProgressRange(services.EntryCount());
  dialog.SetProgressPosition(0);
  dialog.SetProgressStep(1);

  const bool allowed = services.Validate();
  if (services.Cancelled()) return Stopped(RunOutcome::Cancelled);
  if (!allowed) {
    const std::u16string shown = ExpandLineBreaks(services.FailureText());
    Refuse(dialog, PlatformFailureMessage(shown));
    return Stopped(RunOutcome::PlatformRefused);
  }

  dialog.SetCaption(text::kPhaseExtracting);
  const WorkspaceResult workspace = services.CreateWorkspace();
  if (services.Cancelled()) return Stopped(RunOutcome::Cancelled);
  if (!workspace.path) {
    if (workspace.noRoom) {
      Refuse(dialog, kNoRoomMessage);
      return Stopped(RunOutcome::NoRoom);
    }
    ReportResult(dialog, ResultCode::ExtractionFailed);
    return Stopped(RunOutcome::PackageFailed, ResultCode::ExtractionFailed);
  }

  const ResultCode extractCode = services.ExtractAll(*workspace.path);
  if (services.Cancelled()) return Stopped(RunOutcome::Cancelled);
  ReportResult(dialog, extractCode);
  if (extractCode != ResultCode::Success) return Stopped(RunOutcome::PackageFailed, extractCode);
  // The installer program must not find the settings beside it.
  services.DeleteSettingsCopy(*workspace.path);

  std::u16string file;
  std::u16string parameters;
  services.GetExecutable(file, parameters);
  if (!services.LaunchProgram(*workspace.path, file, parameters)) {
    Refuse(dialog, kInvalidInstallerMessage);
    return Stopped(RunOutcome::InvalidInstaller);
  }
  dialog.Hide();
  return Stopped(RunOutcome::InstallerStarted);
}

}  // namespace qf::run
