#include "app/InstallerRun.h"

#include "package/PackageFormat.h"
#include "package/PayloadDigest.h"
#include "package/ProgramPath.h"
#include "sys/File.h"
#include "sys/Path.h"

namespace qf {
namespace {

// A worker still busy when the dialog ends stops at its next chunk or entry;
// one stuck in a system call (an unanswered WMI query, a message box) is not
// writing files, and the cleanup does not wait for it past this time.
constexpr DWORD kWorkerStopWaitMs = 30000;
constexpr DWORD kNoWait = 0;

// Only a path the system reports missing is gone; one it cannot look at may still hold files.
bool IsGone(const std::u16string& path) {
  if (::GetFileAttributesW(sys::Wide(path)) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

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

InstallerRun::InstallerRun(const run::RunLog& log, std::optional<package::StubRecord> record,
                           const run::StubOptions& options)
    : m_log(log), m_options(options) {
  ::InitializeCriticalSection(&m_lock);
  m_reader.SetCancelFlag(&m_cancel);
  m_reader.SetStubRecord(std::move(record));
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
  {
    Locked locked(run->m_lock);
    run->m_runResult = result;
  }
  // The run ends with its installer program; a run stopped first ends without it.
  if (result.outcome == run::RunOutcome::InstallerStarted && run->WaitForInstallerEnd()) {
    run->m_dialog->End(run::kDialogOk);
  }
  return 0;
}

// The installer's end is seen on its process handle, or by the poll of the
// process list, whichever comes first. The handle stays the worker's until
// Finish, which stops this wait before it takes the handle.
bool InstallerRun::WaitForInstallerEnd() {
  const HANDLE process = m_hInstallerProcess.get();
  while (!m_cancel) {
    if (m_launcher.InstallerHasEnded(process, m_processId)) return true;
    if (process == nullptr) {
      ::Sleep(kPollIntervalMs);
    } else if (::WaitForSingleObject(process, kPollIntervalMs) == WAIT_OBJECT_0) {
      return true;
    }
  }
  return false;
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
  if (m_workerStuck) m_log.Write({u"the worker did not stop in time"});
  if (process) {
    if (::WaitForSingleObject(process.get(), kNoWait) == WAIT_OBJECT_0) {
      DWORD code = 0;
      if (::GetExitCodeProcess(process.get(), &code)) m_installerExitCode = code;
      m_log.Write({u"installer ended with exit code ", code});
    } else {
      ::TerminateProcess(process.get(), 0);
      m_log.Write({u"installer still running as the stub ended: ended it"});
    }
  }
  if (workspace) {
    m_workspace.DeleteTree(*workspace);
    // The logon-time removal is withdrawn only once nothing is left for it to remove.
    if (!IsGone(*workspace)) {
      m_log.Write({u"cleanup: could not remove all of ", *workspace,
                   u"; its RunOnce value stays, so the next logon removes it"});
    } else if (const LONG withdrawn = m_workspace.CancelScheduledRemoval(*workspace); withdrawn != ERROR_SUCCESS) {
      m_log.Write({u"cleanup: removed ", *workspace, u"; its RunOnce value was not withdrawn, result ", withdrawn});
    } else {
      m_log.Write({u"cleanup: removed ", *workspace, u" and withdrew its RunOnce value"});
    }
  }
}

run::StubExit InstallerRun::ExitCode() const {
  if (m_workerNotStarted) return run::kExitFatal;
  Locked locked(m_lock);
  return run::ExitFor(m_runResult.value_or(run::RunResult{}), m_endedByUser, m_installerExitCode);
}

// The run's services, on the worker thread.

ResultCode InstallerRun::ReadSettings() {
  std::vector<unsigned char> bytes;
  const ResultCode code = m_reader.ReadSettingsFile(bytes);
  if (code != ResultCode::Success) {
    LogMismatch();
    return code;
  }
  LogPackage();
  m_pSettings = std::make_unique<settings::SettingsFile>(bytes);
  if (!m_pSettings->Readable()) {
    m_log.Write({u"settings: not UTF-16LE text with its byte-order mark"});
    return ResultCode::ExtractionFailed;
  }
  m_validator = std::make_unique<platform::PlatformValidator>(*m_pSettings, m_wmi);
  if (m_log.Enabled()) {
    m_validator->SetObserver(this);
    std::u16string file;
    std::u16string parameters;
    std::u16string silent;
    m_pSettings->GetExecutable(file, parameters);
    m_pSettings->Document().GetValue(settings::key::kExecutable, settings::key::kSilentParam, silent);
    m_log.Write({u"settings: [executable] file=\"", file, u"\" param=\"", parameters, u"\" silentparam=\"", silent,
                 u"\"; [message] fail=\"", FailureText(), u"\""});
  }
  return ResultCode::Success;
}

void InstallerRun::LogPackage() {
  if (!m_log.Enabled()) return;
  sys::File file = sys::File::OpenRead(m_reader.GetPackagePath());
  const auto size = file.Size();
  const bool signedFile = size && *size > m_reader.GetPackageEnd();
  // Indexed by the record's algorithm: 0 is none.
  static constexpr std::u16string_view kDigest[] = {u", no payload digest", u", payload digest XXH32",
                                                    u", payload digest lane sums",
                                                    u", payload digest of an unknown algorithm"};
  static_assert(package::kDigestXxh32 == 1 && package::kDigestLaneSums == 2);
  m_log.Write({u"package: ", m_reader.GetEntryCount(), u" entries, format ", package::kVersion,
               signedFile ? std::u16string_view(u", signed") : u", not signed",
               kDigest[std::min<uint32_t>(m_reader.GetDigestAlgorithm(), std::size(kDigest) - 1)]});
}

void InstallerRun::LogMismatch() const {
  // Indexed by the part that differs; an entry names itself.
  static constexpr std::u16string_view kDamaged[] = {u"", u"the digest list is damaged", u"the file table is damaged",
                                                     u"", u"its algorithm is unknown"};
  const DigestMismatch& mismatch = m_reader.GetDigestMismatch();
  if (mismatch.part == DigestMismatch::Part::Entry) {
    LogEntry(mismatch.entry, u" is damaged: ");
  } else if (mismatch.part != DigestMismatch::Part::None) {
    m_log.Write({u"payload digest: ", kDamaged[static_cast<int>(mismatch.part)]});
  }
}

void InstallerRun::OnSwitches(std::u16string_view cpu, std::u16string_view bios, std::u16string_view baseboard) {
  m_log.Write({u"checks: [validate] cpu=\"", cpu, u"\" bios=\"", bios, u"\" baseboard=\"", baseboard,
               u"\" (a check is on only for exactly \"1\")"});
}

void InstallerRun::OnStep(const platform::CheckStep& step) {
  m_log.Check(step.section, step.key, step.accepted, step.source, step.found, step.queryResult, step.passed,
              step.error);
}

int32_t InstallerRun::EntryCount() { return m_reader.GetEntryCount(); }

bool InstallerRun::Validate() {
  const bool allowed = m_validator->Validate() != 0;
  m_log.Write({u"platform check: this machine is ", allowed ? std::u16string_view(u"accepted") : u"refused"});
  return allowed;
}

std::u16string InstallerRun::FailureText() {
  std::u16string text;
  m_pSettings->Document().GetValue(settings::key::kMessage, settings::key::kFail, text);
  return text;
}

run::WorkspaceResult InstallerRun::CreateWorkspace() {
  const Workspace::Outcome outcome = m_workspace.Create();
  if (outcome != Workspace::Outcome::Created) {
    if (outcome == Workspace::Outcome::NoRoom) {
      m_log.Write({u"workspace: no fixed drive has room"});
    } else {
      m_log.Write({u"workspace: could not be created, error ", m_workspace.Error()});
    }
    return {std::nullopt, outcome == Workspace::Outcome::NoRoom};
  }
  m_log.Write({u"workspace: ", m_workspace.Path(), u", its drive has ", m_workspace.FreeBytes(), u" bytes free"});
  if (m_workspace.Error() != ERROR_SUCCESS) {
    m_log.Write({u"workspace: its RunOnce value could not be written, error ", m_workspace.Error()});
  }
  Locked locked(m_lock);
  m_workspacePath = m_workspace.Path();
  return {m_workspace.Path(), false};
}

intptr_t InstallerRun::OnEntryWritten(int32_t event, const PackageEntry* entry, void* context) {
  auto* run = static_cast<InstallerRun*>(context);
  if (event != kEventEntryWritten) return 0;
  run->m_dialog->StepProgress();
  if (run->m_log.Enabled() && entry != nullptr)
    run->LogEntriesUpTo(static_cast<int32_t>(entry - &run->m_reader.GetEntry(0)));
  return 0;
}

// Entries are written from the last to the first: those between the one
// written before and this one could not be.
void InstallerRun::LogEntriesUpTo(int32_t written) {
  while (--m_nextEntry > written) LogEntry(m_nextEntry, u" not written: ");
  if (written >= 0) LogEntry(written, u" written: ");
}

void InstallerRun::LogEntry(int32_t index, std::u16string_view what) const {
  const PackageEntry& entry = m_reader.GetEntry(index);
  m_log.Write({u"entry ", index, what, entry.directory, entry.name, u" (", entry.size, u" bytes)"});
}

ResultCode InstallerRun::ExtractAll(const std::u16string& directory) {
  m_nextEntry = m_reader.GetEntryCount();
  const ResultCode code = m_reader.ExtractAll(directory, &OnEntryWritten, this);
  if (code == ResultCode::SignatureMismatch) {
    LogMismatch();
  } else if (m_log.Enabled()) {
    LogEntriesUpTo(-1);
  }
  return code;
}

void InstallerRun::DeleteSettingsCopy(const std::u16string& workspace) {
  // Windows compares the name as it compared the entry's: letter case aside.
  ::DeleteFileW(sys::Wide(workspace + u"\\" + std::u16string(package::kSettingsName)));
}

void InstallerRun::GetExecutable(std::u16string& file, std::u16string& parameters) {
  m_pSettings->GetExecutable(file, parameters, m_options.silent);
  m_options.AddParameters(parameters);
}

bool InstallerRun::LaunchProgram(const std::u16string& workspace, const std::u16string& file,
                                 const std::u16string& parameters) {
  // Only a file the package wrote, and still a plain file: a folder would open
  // a window on the workspace, a link could lead anywhere.
  // What starts is the entry as the package spells it, however the settings spell it.
  const std::optional<std::u16string> program = package::FindProgram(m_reader, file);
  const std::u16string path = workspace + u"\\" + program.value_or(file);
  const DWORD attributes = ::GetFileAttributesW(sys::Wide(path));
  const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  if (!program || attributes == INVALID_FILE_ATTRIBUTES || (attributes & notPlain) != 0) {
    m_log.Write({u"installer: \"", file, u"\" is not a plain file the package wrote"});
    return false;
  }
  auto process = m_launcher.LaunchProgram(path, parameters);
  if (!process) {
    m_log.Write({u"installer: the system could not start ", path, u" (error ", ::GetLastError(), u")"});
    return false;
  }
  const DWORD processId = m_launcher.GetProcessIdFromHandle(process->get());
  m_log.Write({u"installer started: ", path, u", parameters \"", parameters, u"\", process id ", processId});
  Locked locked(m_lock);
  m_hInstallerProcess = std::move(*process);
  m_processId = processId;
  return true;
}

bool InstallerRun::Cancelled() { return m_cancel.load(); }

}  // namespace qf
