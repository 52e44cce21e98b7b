#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "run/ExitCode.h"
#include "run/LogTarget.h"
#include "run/RunLog.h"
#include "run/RunSequence.h"
#include "run/StubOptions.h"
#include "sys/Text.h"

namespace qf::run {
namespace {

std::string U8(std::u16string_view s) { return sys::Utf16ToUtf8(s).value(); }

// Records every call the run makes, dialog and services alike, as one line of "|"-separated steps.
class Recorder final : public DialogPort, public RunServices {
 public:
  std::string log;
  int steps = 0;
  int cancelAfterSteps = -1;  // Cancelled() answers true from this many steps on

  // What the services answer.
  ResultCode settingsCode = ResultCode::Success, extractCode = ResultCode::Success;
  bool allowed = true, launched = true;
  WorkspaceResult workspace{u"C:\\ws"};

  void Step(const std::string& what) { log += (steps++ ? "|" : "") + what; }
  void SetCaption(std::u16string_view c) override { Step(U8(c)); }
  void SetProgressRange(int32_t upper) override { Step("range " + std::to_string(upper)); }
  void SetProgressPosition(int32_t p) override { Step("pos " + std::to_string(p)); }
  void SetProgressStep(int32_t s) override { Step("step " + std::to_string(s)); }
  void ShowMessage(const MessageText& m) override {
    Step("box [" + U8(m.caption) + "] " + U8(m.text) + " " + std::to_string(m.flags));
  }
  void End(int result) override { Step("end " + std::to_string(result)); }
  void StepProgress() override {}
  void Hide() override { Step("hide"); }

  ResultCode ReadSettings() override { return Step("settings"), settingsCode; }
  int32_t EntryCount() override { return 3; }
  void DeleteSettingsCopy(const std::u16string& p) override { Step("delete settings in " + U8(p)); }
  bool Validate() override { return Step("validate"), allowed; }
  std::u16string FailureText() override { return u"First line.~~Second~line."; }
  WorkspaceResult CreateWorkspace() override { return Step("workspace"), workspace; }
  // A cancelled extraction fails.
  ResultCode ExtractAll(const std::u16string& d) override {
    Step("extract to " + U8(d));
    return Cancelled() ? ResultCode::ExtractionFailed : extractCode;
  }
  void GetExecutable(std::u16string& f, std::u16string& p) override { f = u"Installer.exe", p = u"-s"; }
  bool LaunchProgram(const std::u16string& w, const std::u16string& f, const std::u16string& p) override {
    return Step("launch " + U8(w) + " " + U8(f) + " " + U8(p)), launched;
  }
  bool Cancelled() override { return cancelAfterSteps >= 0 && steps >= cancelAfterSteps; }
};

const std::string kValidated = "settings|Quillfen - Validating the Installer|range 3|pos 0|step 1|validate";
const std::string kWorkspace = kValidated + "|Quillfen - Extracting|workspace";
const std::string kExtracted = kWorkspace + "|extract to C:\\ws";
const std::string kLaunched = kExtracted + "|delete settings in C:\\ws|launch C:\\ws Installer.exe -s";

// What the log's last line says of each code the stub gives of its own.
const std::map<uint32_t, std::u16string_view> kMeanings = {{1602, u"cancelled"},
                                                           {1603, u"fatal error"},
                                                           {1613, u"unknown package format"},
                                                           {1619, u"package not opened"},
                                                           {1620, u"invalid package"},
                                                           {1632, u"no room"},
                                                           {1633, u"machine not supported"}};

// Every way a run ends: the steps it takes, the box it shows (caption, text and
// icon exactly) and the stub's exit code. Once the dialog has been ended by the
// user the run takes no further step and shows nothing, not even the failure
// of the extraction it stopped.
TEST(RunSequence, EachWayARunEndsHasItsStepsBoxAndExitCode) {
  const auto Set = [](auto member, auto value) { return [=](Recorder& r) { r.*member = value; }; };
  const struct {
    std::function<void(Recorder&)> set;
    RunOutcome outcome;
    uint32_t exitCode;  // while the installer has not ended
    std::string log;
  } rows[] = {
      {Set(&Recorder::allowed, true), RunOutcome::InstallerStarted, 1603, kLaunched + "|hide"},
      {Set(&Recorder::settingsCode, ResultCode::OpenFailed), RunOutcome::PackageFailed, 1619,
       "settings|box [Quillfen Builder] Could not open the installer 48|end 2"},
      {Set(&Recorder::settingsCode, ResultCode::SignatureMismatch), RunOutcome::PackageFailed, 1620,
       "settings|box [Quillfen Builder] The Signature Could not be verified 16|end 2"},
      {Set(&Recorder::settingsCode, ResultCode::NoFiles), RunOutcome::PackageFailed, 1620,
       "settings|box [Quillfen Builder] The Quillfen should have at least one file 48|end 2"},
      {Set(&Recorder::settingsCode, ResultCode::ReopenFailed), RunOutcome::PackageFailed, 1619, "settings|end 2"},
      {Set(&Recorder::settingsCode, ResultCode::VersionMismatch), RunOutcome::PackageFailed, 1613,
       "settings|box [Quillfen Builder] Invalid Version of the Quillfen 16|end 2"},
      {Set(&Recorder::allowed, false), RunOutcome::PlatformRefused, 1633,
       kValidated + "|box [Error - Quillfen ] First line.\r\nSecond~line. 16|end 2"},
      {Set(&Recorder::workspace, WorkspaceResult{std::nullopt, true}), RunOutcome::NoRoom, 1632,
       kWorkspace + "|box [Error - Quillfen ] Insufficient Disk Space 16|end 2"},
      // A directory that could not be made is no lack of room: nothing to free would help.
      {Set(&Recorder::workspace, WorkspaceResult{std::nullopt, false}), RunOutcome::PackageFailed, 1603,
       kWorkspace + "|box [Quillfen Builder] Extraction Failed 16|end 2"},
      {Set(&Recorder::extractCode, ResultCode::ExtractionFailed), RunOutcome::PackageFailed, 1603,
       kExtracted + "|box [Quillfen Builder] Extraction Failed 16|end 2"},
      {Set(&Recorder::launched, false), RunOutcome::InvalidInstaller, 1603,
       kLaunched + "|box [Error - Quillfen ] Invalid Installer 16|end 2"},
      {Set(&Recorder::cancelAfterSteps, 1), RunOutcome::Cancelled, 1602, "settings"},
      {Set(&Recorder::cancelAfterSteps, 6), RunOutcome::Cancelled, 1602, kValidated},
      {Set(&Recorder::cancelAfterSteps, 9), RunOutcome::Cancelled, 1602, kExtracted}};
  for (const auto& row : rows) {
    Recorder r;
    row.set(r);
    const RunResult result = RunSteps(r, r);
    EXPECT_EQ(result.outcome, row.outcome) << row.log;
    EXPECT_EQ(r.log, row.log);
    // The installer's own exit code once it has ended; until then, the run's.
    const StubExit exit = ExitFor(result, false, std::nullopt);
    EXPECT_EQ(exit.code, row.exitCode) << row.log;
    EXPECT_EQ(exit.meaning, kMeanings.at(row.exitCode)) << row.exitCode;
    const bool started = row.outcome == RunOutcome::InstallerStarted;
    const StubExit ended = ExitFor(result, false, 3010u);
    EXPECT_EQ(ended.code, started ? 3010 : row.exitCode);
    EXPECT_EQ(ended.meaning, started ? u"the installer's own" : exit.meaning);
    // Closed by the user before the installer ended: cancelled, like a run stopped before it started.
    EXPECT_EQ(ExitFor(result, true, std::nullopt).code, started ? 1602 : row.exitCode);
  }
}

// The options the arguments give, as "silent" and "log <path>".
std::u16string Options(std::initializer_list<std::u16string_view> arguments) {
  StubOptions options;
  for (const auto argument : arguments) options.Apply(argument);
  return (options.silent ? u"silent " : u"") + (options.log ? u"log " + *options.log : u"") +
         (options.parameters.empty() ? u"" : u"params " + options.parameters);
}

TEST(StubArguments, SwitchesMatchInAnyCaseAndTheRestIsIgnored) {
  EXPECT_EQ(Options({u"x", u"/s", u"-y"}), u"silent ");
  // The silent switches admins type for any installer.
  for (auto silent : {u"/S", u"/silent", u"/VerySilent", u"/QUIET", u"/q"}) EXPECT_EQ(Options({silent}), u"silent ");
  EXPECT_EQ(Options({u"S", u"/S=1", u"/SILENTLY", u"/VERY", u"/LOGFILE=x", u"LOG=x"}), u"");
  EXPECT_EQ(Options({u"/log=C:\\a b\\run.log"}), u"log C:\\a b\\run.log");
  EXPECT_EQ(Options({u"/Log=\"q.log\"", u"/S"}), u"silent log q.log");
  EXPECT_EQ(Options({u"/LOG=first", u"/LOG=second"}), u"log second");
  EXPECT_EQ(Options({u"/LOG=x", u"/LOG="}), u"");
  // Parameters given at deploy time go after the settings' own, a blank between.
  EXPECT_EQ(Options({u"/params=\"A=1 B=2\"", u"/S"}), u"silent params A=1 B=2");
  StubOptions options;
  const auto Started = [&](std::u16string fromSettings) { return options.AddParameters(fromSettings), fromSettings; };
  EXPECT_EQ(Started(u"-s"), u"-s");
  options.Apply(u"/PARAMS=INSTALLDIR=C:\\Q");
  EXPECT_EQ(Started(u""), u"INSTALLDIR=C:\\Q");
  EXPECT_EQ(Started(u"-s \"two words\""), u"-s \"two words\" INSTALLDIR=C:\\Q");
}

// A refusal whose machine value is listed but for the letter case says so.
// The log goes into a plain file other than the stub's own, whatever either is named.
TEST(RunLog, NeverAppendedToALinkOrToTheStubsOwnFile) {
  const OpenFileFacts self{false, 7, 1, 2};
  const struct {
    const char* what;
    OpenFileFacts log;
    bool appended;
  } rows[] = {
      {"another file", {false, 7, 1, 3}, true},
      {"another file, its index's other half differing", {false, 7, 2, 2}, true},
      {"the same index on another volume", {false, 8, 1, 2}, true},
      {"the stub's own file", {false, 7, 1, 2}, false},
      {"a link", {true, 8, 1, 3}, false},
  };
  for (const auto& row : rows) EXPECT_EQ(MayAppendLog(row.log, self), row.appended) << row.what;
}

// Numbers of every width, as a drive's free bytes or a system's result code reach the log.
TEST(RunLog, WritesNumbersWhole) {
  struct Lines final : LogSink {
    std::u16string all;
    void WriteLine(std::u16string_view line) override { all += line; }
  } sink;
  RunLog(&sink).Write({0, u" ", 42, u" ", -2147217392, u" ", 4294967296, u" ", 9223372036854775807LL, u" ",
                       -9223372036854775807LL - 1});
  EXPECT_EQ(sink.all, u"0 42 -2147217392 4294967296 9223372036854775807 -9223372036854775808");
}

// A passed check's line, as quillfen-pack check prints it, is in the tool's tests.
TEST(RunLog, ACheckLineNamesTheValuesAndTheVerdict) {
  EXPECT_EQ(CheckLine(u"baseboard", u"Manufacturer", u"Intel Corporation;Foo", u"Win32_BaseBoard", u"intel corporation",
                      4, false, 0x8004100E),
            u"[baseboard] Manufacturer: accepted \"Intel Corporation;Foo\", this machine \"intel corporation\" "
            u"(differs in letter case only); Win32_BaseBoard query result 4, error 0x8004100E; refused");
}

}  // namespace
}  // namespace qf::run
