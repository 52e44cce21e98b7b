#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "RecordingInstaller.h"
#include "WindowsTestSupport.h"
#include "support/TestFiles.h"
#include "sys/Unique.h"
#include "workspace/ProcessLauncher.h"
#include "workspace/Workspace.h"
#include "workspace/WorkspaceName.h"

namespace qf {
namespace {

using sys::FromWide;
using sys::Wide;

std::u16string RecordingInstallerPath() { return test::ProgramDirectory() + u"" QF_RECORDING_INSTALLER; }

// Runs the recording installer with its record file and release event set in
// the environment the launched program inherits.
class RecordingRun {
 public:
  RecordingRun() {
    static std::atomic<int> counter{0};
    m_record = m_dir.core() + u"\\record.txt";
    m_eventName = u"qf-release-" + FromWide(std::to_wstring(::GetCurrentProcessId()).c_str()) + u"-" +
                  FromWide(std::to_wstring(counter++).c_str());
    m_release.reset(::CreateEventW(nullptr, TRUE, FALSE, Wide(m_eventName)));
    ::SetEnvironmentVariableW(kRecordToVariable, Wide(m_record));
    ::SetEnvironmentVariableW(kReleaseEventVariable, Wide(m_eventName));
  }
  ~RecordingRun() {
    Release();
    ::SetEnvironmentVariableW(kRecordToVariable, nullptr);
    ::SetEnvironmentVariableW(kReleaseEventVariable, nullptr);
  }

  void Release() { ::SetEvent(m_release.get()); }
  // What the program recorded: its parameter text and its current directory.
  // The file may be seen an instant before it can be opened: the read is retried.
  std::optional<std::u16string> Recorded() const {
    std::optional<std::u16string> text;
    test::WaitUntil([&] { return (text = test::ReadText(m_record)).has_value(); });
    return text;
  }

 private:
  test::TempDir m_dir;
  std::u16string m_record;
  std::u16string m_eventName;
  sys::UniqueHandle m_release;
};

std::u16string Recording(const std::u16string& parameters, const std::u16string& directory) {
  return parameters + static_cast<char16_t>(kRecordSeparator) + directory;
}

TEST(ProcessLauncher, InstallerInTheWorkspaceGetsItsParametersAndIsWatchedUntilItEnds) {
  Workspace workspace;
  const std::u16string path = test::Made(workspace);
  ASSERT_TRUE(IsWorkspacePath(path));
  struct Removal {
    Workspace& workspace;
    const std::u16string& path;
    ~Removal() { workspace.DeleteTree(path); }
  } removal{workspace, path};
  const std::u16string installer = path + u"\\setup.exe";
  ASSERT_TRUE(::CopyFileW(Wide(RecordingInstallerPath()), Wide(installer), TRUE)) << ::GetLastError();

  const ProcessLauncher launcher;
  RecordingRun run;
  auto launched = launcher.LaunchProgram(installer, u"-s");
  ASSERT_TRUE(launched && *launched);
  const sys::UniqueHandle process = std::move(*launched);

  const DWORD processId = launcher.GetProcessIdFromHandle(process.get());
  EXPECT_NE(processId, 0u);
  EXPECT_EQ(processId, ::GetProcessId(process.get()));
  // No working directory is given: the installer starts in ours, not in the workspace.
  EXPECT_EQ(run.Recorded(), Recording(u"-s", test::CurrentDirectory()));

  EXPECT_EQ(launcher.IsProcessRunning(processId), 1);
  EXPECT_FALSE(launcher.InstallerHasEnded(process.get(), processId));
  EXPECT_FALSE(launcher.InstallerHasEnded(process.get(), 0));

  run.Release();
  ASSERT_EQ(::WaitForSingleObject(process.get(), test::kDeadlineMs), WAIT_OBJECT_0);
  // The handle is still held, as the dialog holds it while it polls.
  EXPECT_TRUE(test::WaitUntil([&] { return launcher.IsProcessRunning(processId) == 0; }));
  EXPECT_TRUE(launcher.InstallerHasEnded(process.get(), processId));
  EXPECT_TRUE(launcher.InstallerHasEnded(process.get(), 0));

  EXPECT_EQ(workspace.DeleteTree(path), 1);
  EXPECT_FALSE(test::Exists(path));
}

TEST(ProcessLauncher, ParametersArriveVerbatim) {
  struct Case {
    std::u16string parameters;
    std::u16string received;
  };
  // The program's own start-up code drops the blanks between its name and its parameters.
  const Case cases[] = {
      {u"-s \"two words\" /x=1 C:\\a\\b", u"-s \"two words\" /x=1 C:\\a\\b"}, {u"", u""}, {u"  padded  ", u"padded  "}};
  const ProcessLauncher launcher;
  for (const Case& c : cases) {
    RecordingRun run;
    auto launched = launcher.LaunchProgram(RecordingInstallerPath(), c.parameters);
    ASSERT_TRUE(launched);
    const sys::UniqueHandle process = std::move(*launched);
    const auto recorded = run.Recorded();
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->substr(0, recorded->find(static_cast<char16_t>(kRecordSeparator))), c.received);
    run.Release();
    EXPECT_EQ(::WaitForSingleObject(process.get(), test::kDeadlineMs), WAIT_OBJECT_0);
  }
}

// One failure, one box: the caller's. The shell shows none of its own.
// (The whole run's test counts the boxes.)
TEST(ProcessLauncher, MissingFileFailsWithoutAShellBox) {
  const ProcessLauncher launcher;
  EXPECT_FALSE(launcher.LaunchProgram(u"C:\\qf-no-such-directory\\setup.exe", u"-s"));
}

TEST(ProcessLauncher, NoHandleHasNoIdAndNeverMeansWaitingForever) {
  const ProcessLauncher launcher;
  EXPECT_TRUE(launcher.InstallerHasEnded(nullptr, 0));
  ::SetLastError(0);
  EXPECT_EQ(launcher.GetProcessIdFromHandle(nullptr), 0u);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
}  // namespace qf
