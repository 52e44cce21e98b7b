#include "app/ProgressDialog.h"

#include <commctrl.h>

#include "app/resource.h"
#include "run/ExitCode.h"
#include "sys/Path.h"

namespace qf {
namespace {

constexpr UINT_PTR kTimerPoll = 1;
constexpr UINT kPollIntervalMs = 300;
// The worker asks the dialog's thread to end the dialog and to start the poll;
// both must happen on the thread that owns the window.
constexpr UINT kMsgEndDialog = WM_APP + 1;
constexpr UINT kMsgStartPollTimer = WM_APP + 2;
// A worker still busy when the dialog ends stops at its next chunk or entry;
// one stuck in a system call (an unanswered WMI query, a message box) is not
// writing files, and the cleanup does not wait for it past this time.
constexpr DWORD kWorkerStopWaitMs = 30000;
constexpr int32_t kProgressStep = 1;

std::u16string Terminated(std::u16string_view text) { return std::u16string(text); }

void CenterOnScreen(HWND window) {
  RECT frame{};
  RECT area{};
  ::GetWindowRect(window, &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    area = monitor.rcWork;
  } else {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  ::SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

ProgressDialog::ProgressDialog(HINSTANCE instance)
    : m_instance(instance), m_hIcon(::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP))) {
  m_reader.SetCancelFlag(&m_cancel);
}

ProgressDialog::~ProgressDialog() {
  if (m_hInstallerProcess != nullptr && m_hInstallerProcess != run::LaunchFailedMarker()) {
    ::CloseHandle(m_hInstallerProcess);
  }
}

INT_PTR ProgressDialog::DoModal() {
  const INT_PTR result = ::DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, &DialogProc,
                                           reinterpret_cast<LPARAM>(this));
  Cleanup();
  return result;
}

INT_PTR CALLBACK ProgressDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    reinterpret_cast<ProgressDialog*>(lParam)->m_hWnd = window;
  }
  auto* self = reinterpret_cast<ProgressDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
  return self != nullptr ? self->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR ProgressDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_PAINT:
      return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)) {
        EndByUser(LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_TIMER:
      OnTimer(wParam);
      return FALSE;
    case kMsgEndDialog:
      ::EndDialog(m_hWnd, static_cast<INT_PTR>(wParam));
      return TRUE;
    case kMsgStartPollTimer:
      ::SetTimer(m_hWnd, kTimerPoll, kPollIntervalMs, nullptr);
      return TRUE;
    default:
      (void)lParam;
      return FALSE;
  }
}

BOOL ProgressDialog::OnInitDialog() {
  m_progress = ::GetDlgItem(m_hWnd, IDC_PROGRESS);
  CenterOnScreen(m_hWnd);
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  ::SetWindowTextW(m_hWnd, sys::Wide(Terminated(text::kPhaseInitializing)));
  m_hInstallerProcess = nullptr;

  m_hWorkerThread.reset(::CreateThread(nullptr, 0, &RunSequence, this, 0, nullptr));
  if (!m_hWorkerThread) {
    m_workerNotStarted = true;
    const auto text = Terminated(kNoWorkerMessage.text);
    const auto caption = Terminated(kNoWorkerMessage.caption);
    ::MessageBoxW(m_hWnd, sys::Wide(text), sys::Wide(caption), kNoWorkerMessage.flags);
    ::EndDialog(m_hWnd, run::kDialogCancel);
  }
  return TRUE;
}

bool ProgressDialog::OnPaint() {
  if (!::IsIconic(m_hWnd)) return false;
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int iconWidth = ::GetSystemMetrics(SM_CXICON);
  const int iconHeight = ::GetSystemMetrics(SM_CYICON);
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  const int x = (client.right - client.left - iconWidth + 1) / 2;
  const int y = (client.bottom - client.top - iconHeight + 1) / 2;
  ::DrawIcon(dc, x, y, m_hIcon);
  ::EndPaint(m_hWnd, &paint);
  return true;
}

void ProgressDialog::OnTimer(UINT_PTR id) {
  if (id != kTimerPoll) return;
  const bool ended = m_launcher.InstallerHasEnded(m_hInstallerProcess, m_processId);
  m_processRunning = ended ? 0 : 1;
  if (!ended) return;
  // The worker ended right after it started the poll; its handle is done with.
  if (m_hWorkerThread) ::WaitForSingleObject(m_hWorkerThread.get(), kWorkerStopWaitMs);
  m_hWorkerThread.reset();
  ::KillTimer(m_hWnd, kTimerPoll);
  ::EndDialog(m_hWnd, run::kDialogOk);
}

void ProgressDialog::EndByUser(int result) {
  m_endedByUser = true;
  m_cancel = true;
  ::EndDialog(m_hWnd, result);
}

bool ProgressDialog::HoldsInstallerProcess() const {
  return m_hInstallerProcess != nullptr && m_hInstallerProcess != run::LaunchFailedMarker();
}

void ProgressDialog::Cleanup() {
  // Stop a worker that is still extracting before its workspace is deleted,
  // so that nothing is written after the deletion.
  m_cancel = true;
  if (m_hWorkerThread) {
    ::WaitForSingleObject(m_hWorkerThread.get(), kWorkerStopWaitMs);
    m_hWorkerThread.reset();
  }
  if (HoldsInstallerProcess()) {
    if (::WaitForSingleObject(m_hInstallerProcess, 0) == WAIT_OBJECT_0) {
      DWORD code = 0;
      if (::GetExitCodeProcess(m_hInstallerProcess, &code)) m_installerExitCode = code;
    } else {
      ::TerminateProcess(m_hInstallerProcess, 0);
    }
  }
  if (!m_workspacePath.empty() && m_workspacePath != run::kNoWorkspace) m_workspace.DeleteTree(m_workspacePath);
}

uint32_t ProgressDialog::ExitCode() const {
  if (m_workerNotStarted) return run::kExitNoWorker;
  const run::RunResult result = m_runFinished.load() ? m_runResult : run::RunResult{};
  return run::ExitCodeFor(result, m_endedByUser, m_installerExitCode);
}

DWORD WINAPI ProgressDialog::RunSequence(void* dialog) {
  auto* self = static_cast<ProgressDialog*>(dialog);
  // The result is read by the dialog's thread only after this thread has ended.
  self->m_runResult = run::RunSteps(*self, *self);
  self->m_runFinished.store(true);
  return 0;
}

intptr_t ProgressDialog::StepProgress(int32_t event, const PackageEntry*, void* context) {
  auto* self = static_cast<ProgressDialog*>(context);
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (event != kEventEntryWritten) return 0;
  return static_cast<intptr_t>(::SendMessageW(self->m_progress, PBM_STEPIT, 0, 0));
}

// Window operations of the worker.

void ProgressDialog::SetCaption(std::u16string_view caption) {
  ::SetWindowTextW(m_hWnd, sys::Wide(Terminated(caption)));
}

void ProgressDialog::SetProgressRange(int32_t upper) {
  ::SendMessageW(m_progress, PBM_SETRANGE, 0, MAKELPARAM(0, upper));
}

void ProgressDialog::SetProgressPosition(int32_t position) {
  ::SendMessageW(m_progress, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void ProgressDialog::SetProgressStep(int32_t step) {
  ::SendMessageW(m_progress, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void ProgressDialog::ShowMessage(const MessageText& message) {
  const auto text = Terminated(message.text);
  const auto caption = Terminated(message.caption);
  ::MessageBoxW(m_hWnd, sys::Wide(text), sys::Wide(caption), message.flags);
}

void ProgressDialog::End(int result) { ::PostMessageW(m_hWnd, kMsgEndDialog, static_cast<WPARAM>(result), 0); }

void ProgressDialog::StartPollTimer() { ::SendMessageW(m_hWnd, kMsgStartPollTimer, 0, 0); }

void ProgressDialog::Hide() { ::ShowWindow(m_hWnd, SW_HIDE); }

// The run's services, over the objects the dialog owns.

std::u16string ProgressDialog::TempFolder() {
  wchar_t buffer[sys::kMaxPathUnits];
  const DWORD length = ::GetTempPathW(sys::kMaxPathUnits, buffer);
  // A temporary folder that does not fit is no folder: extraction then refuses
  // the empty directory and the run shows "Extraction Failed".
  if (length == 0 || length >= sys::kMaxPathUnits) return {};
  return sys::FromWide(buffer, length);
}

ResultCode ProgressDialog::ExtractSettingsFile(const std::u16string& directory) {
  return m_reader.ExtractSettingsFile(directory);
}

int32_t ProgressDialog::EntryCount() { return m_reader.GetEntryCount(); }

void ProgressDialog::LoadSettings(const std::u16string& path) {
  m_pSettings = std::make_unique<settings::SettingsFile>(path);
  m_validator = std::make_unique<platform::PlatformValidator>(*m_pSettings, m_wmi);
}

void ProgressDialog::DeleteSettingsCopy(const std::u16string& path) { ::DeleteFileW(sys::Wide(path)); }

int ProgressDialog::Validate() { return m_validator->Validate(); }

std::u16string ProgressDialog::FailureText() {
  std::u16string text;
  m_pSettings->Document().GetValue(settings::key::kMessage, settings::key::kFail, text);
  return text;
}

std::u16string ProgressDialog::CreateWorkspace() {
  m_workspacePath = m_workspace.Create();
  return m_workspacePath;
}

ResultCode ProgressDialog::ExtractAll(const std::u16string& directory) {
  return m_reader.ExtractAll(directory, &StepProgress, this);
}

void ProgressDialog::GetExecutable(std::u16string& file, std::u16string& parameters) {
  m_pSettings->GetExecutable(file, parameters);
}

run::ProcessHandle ProgressDialog::LaunchProgram(const std::u16string& file, const std::u16string& parameters) {
  m_hInstallerProcess = m_launcher.LaunchProgram(file, parameters);
  return m_hInstallerProcess;
}

void ProgressDialog::StoreProcessId(run::ProcessHandle process) {
  m_processId = m_launcher.GetProcessIdFromHandle(static_cast<HANDLE>(process));
}

bool ProgressDialog::Cancelled() { return m_cancel.load(); }

}  // namespace qf
