#include "app/InstallerRun.h"

#include "package/PackageFormat.h"
#include "run/ExitCode.h"
#include "sys/Path.h"

namespace qf {
namespace {

// A worker still busy when the dialog ends stops at its next chunk or entry;
// one stuck in a system call (an unanswered WMI query, a message box) is not
// writing files, and the cleanup does not wait for it past this time.
constexpr DWORD kWorkerStopWaitMs = 30000;
constexpr DWORD kNoWait = 0;

class Locked {
 public:
  explicit Locked(CRITICAL_SECTION& lock) : m_lock(lock) { ::EnterCriticalSection(&m_lock); }
  ~Locked() { ::LeaveCriticalSection(&m_lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  CRITICAL_SECTION& m_lock;
};

}  // namespace

InstallerRun::InstallerRun() {
  ::InitializeCriticalSection(&m_lock);
  m_reader.SetCancelFlag(&m_cancel);
}

InstallerRun::~InstallerRun() {
  Finish();
  // A worker that did not stop in time may still take the lock; the process
  // ends right after this, and the lock with it.
  if (!m_workerStuck) ::DeleteCriticalSection(&m_lock);
}

bool InstallerRun::Start(run::DialogPort& dialog) {
  m_dialog = &dialog;
  m_hWorkerThread.reset(::CreateThread(nullptr, 0, &Work, this, 0, nullptr));
  m_workerNotStarted = !m_hWorkerThread;
  return !m_workerNotStarted;
}

void InstallerRun::Cancel() {
  m_endedByUser = true;
  m_cancel = true;
}

DWORD WINAPI InstallerRun::Work(void* self) {
  auto* run = static_cast<InstallerRun*>(self);
  const run::RunResult result = run::RunSteps(*run->m_dialog, *run);
  Locked locked(run->m_lock);
  run->m_runResult = result;
  return 0;
}

bool InstallerRun::InstallerHasEnded() {
  Locked locked(m_lock);
  if (!m_installerStarted) return true;
  return m_launcher.InstallerHasEnded(m_hInstallerProcess.get(), m_processId);
}

HANDLE InstallerRun::InstallerProcess() {
  Locked locked(m_lock);
  return m_hInstallerProcess.get();
}

void InstallerRun::Finish() {
  // Stop a worker that is still extracting before its workspace is deleted,
  // so that nothing is written after the deletion.
  m_cancel = true;
  if (m_hWorkerThread) {
    m_workerStuck = ::WaitForSingleObject(m_hWorkerThread.get(), kWorkerStopWaitMs) != WAIT_OBJECT_0;
    m_hWorkerThread.reset();
  }
  std::optional<std::u16string> workspace;
  sys::UniqueHandle process;
  {
    Locked locked(m_lock);
    workspace = std::exchange(m_workspacePath, std::nullopt);
    process = std::move(m_hInstallerProcess);
  }
  if (process) {
    if (::WaitForSingleObject(process.get(), kNoWait) == WAIT_OBJECT_0) {
      DWORD code = 0;
      if (::GetExitCodeProcess(process.get(), &code)) m_installerExitCode = code;
    } else {
      ::TerminateProcess(process.get(), 0);
    }
  }
  if (workspace) m_workspace.DeleteTree(*workspace);
}

uint32_t InstallerRun::ExitCode() const {
  if (m_workerNotStarted) return run::kExitNoWorker;
  Locked locked(m_lock);
  return run::ExitCodeFor(m_runResult.value_or(run::RunResult{}), m_endedByUser, m_installerExitCode);
}

// The run's services, on the worker thread.

ResultCode InstallerRun::ReadSettings() {
  std::vector<unsigned char> bytes;
  const ResultCode code = m_reader.ReadSettingsFile(bytes);
  if (code != ResultCode::Success) return code;
  m_pSettings = std::make_unique<settings::SettingsFile>(bytes);
  if (!m_pSettings->Readable()) return ResultCode::ExtractionFailed;
  m_validator = std::make_unique<platform::PlatformValidator>(*m_pSettings, m_wmi);
  return ResultCode::Success;
}

int32_t InstallerRun::EntryCount() { return m_reader.GetEntryCount(); }

bool InstallerRun::Validate() { return m_validator->Validate() != 0; }

std::u16string InstallerRun::FailureText() {
  std::u16string text;
  m_pSettings->Document().GetValue(settings::key::kMessage, settings::key::kFail, text);
  return text;
}

run::WorkspaceResult InstallerRun::CreateWorkspace() {
  const Workspace::Outcome outcome = m_workspace.Create();
  if (outcome != Workspace::Outcome::Created) return {std::nullopt, outcome == Workspace::Outcome::NoRoom};
  Locked locked(m_lock);
  m_workspacePath = m_workspace.Path();
  return {m_workspace.Path(), false};
}

intptr_t InstallerRun::OnEntryWritten(int32_t event, const PackageEntry*, void* context) {
  if (event == kEventEntryWritten) static_cast<InstallerRun*>(context)->m_dialog->StepProgress();
  return 0;
}

ResultCode InstallerRun::ExtractAll(const std::u16string& directory) {
  return m_reader.ExtractAll(directory, &OnEntryWritten, this);
}

void InstallerRun::DeleteSettingsCopy(const std::u16string& workspace) {
  // Windows compares the name as it compared the entry's: letter case aside.
  ::DeleteFileW(sys::Wide(workspace + u"\\" + std::u16string(package::kSettingsName)));
}

void InstallerRun::GetExecutable(std::u16string& file, std::u16string& parameters) {
  m_pSettings->GetExecutable(file, parameters);
}

bool InstallerRun::LaunchProgram(const std::u16string& workspace, const std::u16string& file,
                                 const std::u16string& parameters) {
  // Only a file the package wrote, and still a plain file: a folder would open
  // a window on the workspace, a link could lead anywhere.
  const std::u16string path = workspace + u"\\" + file;
  const DWORD attributes = ::GetFileAttributesW(sys::Wide(path));
  const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if (!m_reader.HoldsProgram(file) || attributes == INVALID_FILE_ATTRIBUTES || (attributes & notPlain) != 0) {
    return false;
  }
  auto process = m_launcher.LaunchProgram(path, parameters);
  if (!process) return false;
  const DWORD processId = m_launcher.GetProcessIdFromHandle(process->get());
  Locked locked(m_lock);
  m_hInstallerProcess = std::move(*process);
  m_processId = processId;
  m_installerStarted = true;
  return true;
}

bool InstallerRun::Cancelled() { return m_cancel.load(); }

}  // namespace qf
