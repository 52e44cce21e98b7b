#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/ExitCode.h"
#include "run/RunSequence.h"
#include "sys/Text.h"

namespace qf::run {
namespace {

std::string U8(std::u16string_view s) { return sys::Utf16ToUtf8(s).value(); }

// Records every call the run makes, dialog and services alike, in one list.
class Recorder final : public DialogPort, public RunServices {
 public:
  std::vector<std::string> log;

  // What the services answer.
  ResultCode settingsCode = ResultCode::Success;
  int32_t entries = 3;
  bool allowed = true;
  std::u16string failText = u"First line.~~Second line.";
  WorkspaceResult workspace{u"C:\\abcdefghijklmno"};
  ResultCode extractCode = ResultCode::Success;
  std::u16string file = u"Installer.exe";
  std::u16string params = u"-s";
  bool launchFails = false;
  int cancelAfterCalls = -1;  // Cancelled() answers true from this many log entries on

  void SetCaption(std::u16string_view c) override { log.push_back("caption " + U8(c)); }
  void SetProgressRange(int32_t upper) override { log.push_back("range 0.." + std::to_string(upper)); }
  void SetProgressPosition(int32_t p) override { log.push_back("pos " + std::to_string(p)); }
  void SetProgressStep(int32_t s) override { log.push_back("step " + std::to_string(s)); }
  void ShowMessage(const MessageText& m) override {
    log.push_back("box [" + U8(m.caption) + "] " + U8(m.text) + " flags " + std::to_string(m.flags));
  }
  void End(int result) override { log.push_back("end " + std::to_string(result)); }
  void StepProgress() override {}
  void WaitForInstaller() override { log.push_back("wait"); }
  void Hide() override { log.push_back("hide"); }

  ResultCode ReadSettings() override {
    log.push_back("read settings");
    return settingsCode;
  }
  int32_t EntryCount() override { return entries; }
  void DeleteSettingsCopy(const std::u16string& p) override { log.push_back("delete " + U8(p)); }
  bool Validate() override {
    log.push_back("validate");
    return allowed;
  }
  std::u16string FailureText() override { return failText; }
  WorkspaceResult CreateWorkspace() override {
    log.push_back("workspace");
    return workspace;
  }
  ResultCode ExtractAll(const std::u16string& d) override {
    log.push_back("extract all " + U8(d));
    return extractCode;
  }
  void GetExecutable(std::u16string& f, std::u16string& p) override {
    f = file;
    p = params;
  }
  bool LaunchProgram(const std::u16string& w, const std::u16string& f, const std::u16string& p) override {
    log.push_back("launch " + U8(w) + " " + U8(f) + " | " + U8(p));
    return !launchFails;
  }
  bool Cancelled() override { return cancelAfterCalls >= 0 && static_cast<int>(log.size()) >= cancelAfterCalls; }
};

const std::vector<std::string> kUntilValidation = {
    "read settings", "caption Quillfen - Validating the Installer", "range 0..3", "pos 0", "step 1", "validate"};

std::vector<std::string> Then(std::vector<std::string> first, const std::vector<std::string>& more) {
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

TEST(RunSequence, SuccessfulRunStartsTheInstallerAndHidesTheDialog) {
  Recorder r;
  const RunResult result = RunSteps(r, r);
  EXPECT_EQ(result.outcome, RunOutcome::InstallerStarted);
  EXPECT_EQ(r.log,
            Then(kUntilValidation, {"caption Quillfen - Extracting", "workspace", "extract all C:\\abcdefghijklmno",
                                    "delete C:\\abcdefghijklmno",
                                    "launch C:\\abcdefghijklmno Installer.exe | -s", "wait", "hide"}));
}

TEST(RunSequence, PackageFailuresShowTheirMessageAndEnd) {
  Recorder r;
  r.settingsCode = ResultCode::SignatureMismatch;
  EXPECT_EQ(RunSteps(r, r).code, ResultCode::SignatureMismatch);
  EXPECT_EQ(r.log,
            (std::vector<std::string>{"read settings",
                                      "box [Quillfen Builder] The Signature Could not be verified flags 16", "end 2"}));

  Recorder reopen;  // 1006 has no message but still ends the run
  reopen.settingsCode = ResultCode::ReopenFailed;
  RunSteps(reopen, reopen);
  EXPECT_EQ(reopen.log, (std::vector<std::string>{"read settings", "end 2"}));

  Recorder extract;
  extract.extractCode = ResultCode::ExtractionFailed;
  const RunResult result = RunSteps(extract, extract);
  EXPECT_EQ(result.outcome, RunOutcome::PackageFailed);
  EXPECT_EQ(extract.log,
            Then(kUntilValidation, {"caption Quillfen - Extracting", "workspace", "extract all C:\\abcdefghijklmno",
                                    "box [Quillfen Builder] Extraction Failed flags 16", "end 2"}));
}

TEST(RunSequence, PlatformRefusalShowsTheFailTextWithLineBreaks) {
  Recorder r;
  r.allowed = false;
  EXPECT_EQ(RunSteps(r, r).outcome, RunOutcome::PlatformRefused);
  EXPECT_EQ(r.log, Then(kUntilValidation, {"box [Error - Quillfen ] First line.\r\nSecond line. flags 16", "end 2"}));

  Recorder empty;
  empty.allowed = false;
  empty.failText.clear();
  RunSteps(empty, empty);
  EXPECT_EQ(empty.log[empty.log.size() - 2], "box [Error - Quillfen ]  flags 16");
}

TEST(RunSequence, NoWorkspaceAndInvalidInstaller) {
  Recorder r;
  r.workspace = {std::nullopt, true};
  EXPECT_EQ(RunSteps(r, r).outcome, RunOutcome::NoRoom);
  EXPECT_EQ(r.log, Then(kUntilValidation, {"caption Quillfen - Extracting", "workspace",
                                           "box [Error - Quillfen ] Insufficient Disk Space flags 16", "end 2"}));

  // A directory that could not be made is no lack of room: nothing to free would help.
  Recorder notMade;
  notMade.workspace = {std::nullopt, false};
  EXPECT_EQ(RunSteps(notMade, notMade).code, ResultCode::ExtractionFailed);
  EXPECT_EQ(notMade.log, Then(kUntilValidation, {"caption Quillfen - Extracting", "workspace",
                                                 "box [Quillfen Builder] Extraction Failed flags 16", "end 2"}));

  Recorder bad;
  bad.launchFails = true;
  bad.file.clear();
  bad.params.clear();
  EXPECT_EQ(RunSteps(bad, bad).outcome, RunOutcome::InvalidInstaller);
  EXPECT_EQ(bad.log,
            Then(kUntilValidation, {"caption Quillfen - Extracting", "workspace", "extract all C:\\abcdefghijklmno",
                                    "delete C:\\abcdefghijklmno", "launch C:\\abcdefghijklmno  | ",
                                    "box [Error - Quillfen ] Invalid Installer flags 16", "end 2"}));
}

// Once the dialog has been ended by the user the run takes no further step
// and shows nothing: no failure box for a cancelled extraction.
TEST(RunSequence, CancelStopsSilentlyAtTheNextCheck) {
  for (int at : {1, 6, 8, 9}) {
    Recorder r;
    r.cancelAfterCalls = at;
    r.extractCode = ResultCode::ExtractionFailed;  // what a cancelled extraction returns
    EXPECT_EQ(RunSteps(r, r).outcome, RunOutcome::Cancelled) << at;
    for (const auto& line : r.log) {
      EXPECT_EQ(line.find("box"), std::string::npos) << at << ": " << line;
      EXPECT_EQ(line.find("launch"), std::string::npos) << at << ": " << line;
    }
    EXPECT_LE(static_cast<int>(r.log.size()), at) << at;
  }
}

TEST(ExitCode, TellsInstalledFromRefusedFromDamaged) {
  EXPECT_EQ(ExitCodeFor({RunOutcome::InstallerStarted, ResultCode::Success}, false, 0u), 0u);
  EXPECT_EQ(ExitCodeFor({RunOutcome::InstallerStarted, ResultCode::Success}, false, 3010u), 3010u);
  EXPECT_EQ(ExitCodeFor({RunOutcome::InstallerStarted, ResultCode::Success}, true, std::nullopt), kExitCancelled);
  EXPECT_EQ(ExitCodeFor({RunOutcome::PackageFailed, ResultCode::SignatureMismatch}, false, {}), 1001u);
  EXPECT_EQ(ExitCodeFor({RunOutcome::PackageFailed, ResultCode::ReopenFailed}, false, {}), 1006u);
  EXPECT_EQ(ExitCodeFor({RunOutcome::PlatformRefused, ResultCode::Success}, false, {}), kExitPlatformRefused);
  EXPECT_EQ(ExitCodeFor({RunOutcome::NoRoom, ResultCode::Success}, false, {}), kExitNoRoom);
  EXPECT_EQ(ExitCodeFor({RunOutcome::InvalidInstaller, ResultCode::Success}, false, {}), kExitInvalidInstaller);
  EXPECT_EQ(ExitCodeFor({RunOutcome::NotFinished, ResultCode::Success}, true, {}), kExitCancelled);
}

}  // namespace
}  // namespace qf::run
