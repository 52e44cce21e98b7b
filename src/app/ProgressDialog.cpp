#include "app/ProgressDialog.h"

#include <commctrl.h>

#include "app/resource.h"
#include "sys/Path.h"

namespace qf {
namespace {

constexpr ULONGLONG kPaintIntervalMs = 100;
// The worker asks the dialog's thread to end the dialog, which must happen on
// the thread that owns the window.
constexpr UINT kMsgEndDialog = WM_APP + 1;

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

ProgressDialog::ProgressDialog(HINSTANCE instance, InstallerRun& run, const run::RunLog& log)
    : m_instance(instance), m_run(run), m_log(log), m_hIcon(::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP))) {}

INT_PTR ProgressDialog::DoModal() {
  return ::DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, &DialogProc,
                           reinterpret_cast<LPARAM>(this));
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
        m_run.Cancel();
        ::EndDialog(m_hWnd, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case kMsgEndDialog:
      ::EndDialog(m_hWnd, static_cast<INT_PTR>(wParam));
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
  if (!m_run.Start(*this)) {
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

// Window operations of the worker.

void ProgressDialog::SetCaption(std::u16string_view caption) {
  ::SetWindowTextW(m_hWnd, sys::Wide(Terminated(caption)));
}

void ProgressDialog::SetProgressRange(int32_t upper) {
  m_upper = upper;
  ::SendMessageW(m_progress, PBM_SETRANGE, 0, MAKELPARAM(0, upper));
}

void ProgressDialog::SetProgressPosition(int32_t position) {
  m_stepped = position;
  ::SendMessageW(m_progress, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void ProgressDialog::SetProgressStep(int32_t step) {
  ::SendMessageW(m_progress, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void ProgressDialog::ShowMessage(const MessageText& message) {
  const auto text = Terminated(message.text);
  const auto caption = Terminated(message.caption);
  // A deployment that waits for the run's end learns from the log why it does not come.
  m_log.Message(message, true);
  ::MessageBoxW(m_hWnd, sys::Wide(text), sys::Wide(caption), message.flags);
}

void ProgressDialog::End(int result) { ::PostMessageW(m_hWnd, kMsgEndDialog, static_cast<WPARAM>(result), 0); }

// The extraction's progress: the worker's own queue is emptied first.
void ProgressDialog::StepProgress() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  // The bar's position follows every entry at once; its picture at most every
  // kPaintIntervalMs and at the end. A themed bar takes milliseconds to paint
  // (under Wine, a good part of a core for a package of many files), time the
  // extraction would share.
  const ULONGLONG now = ::GetTickCount64();
  const bool paint = now - m_lastPaint >= kPaintIntervalMs || ++m_stepped >= m_upper;
  if (!paint) ::SendMessageW(m_progress, WM_SETREDRAW, FALSE, 0);
  ::SendMessageW(m_progress, PBM_STEPIT, 0, 0);
  if (paint) {
    // The steps passed over were never drawn: the whole bar is.
    ::InvalidateRect(m_progress, nullptr, FALSE);
    m_lastPaint = now;
  } else {
    ::SendMessageW(m_progress, WM_SETREDRAW, TRUE, 0);
  }
}

void ProgressDialog::Hide() { ::ShowWindow(m_hWnd, SW_HIDE); }

}  // namespace qf
