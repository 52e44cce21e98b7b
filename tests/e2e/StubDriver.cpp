#include "StubDriver.h"

#include <commctrl.h>

#include <algorithm>

#include "Win32Test.h"
#include "sys/Unique.h"

namespace qf::e2e {
namespace {

constexpr int kProgressId = 1000;
constexpr int kBoxTextId = 0xFFFF;
constexpr int kBoxIconId = 0x440;  // in Wine's message box
constexpr DWORD kRunDeadlineMs = 120000;
constexpr DWORD kPaintDeadlineMs = 10000;

std::wstring TextOf(HWND window) {
  wchar_t text[2048] = {};
  ::GetWindowTextW(window, text, 2048);
  return text;
}

LRESULT Query(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 1000, &result)) return -1;
  return static_cast<LRESULT>(result);
}

// Reads the icon from the screen (another process's window DC gives nothing
// under Wine): the system's stop icon is mostly red, its exclamation mostly yellow.
Icon ReadIcon(HWND control) {
  RECT rect{};
  POINT origin{0, 0};
  ::GetClientRect(control, &rect);
  ::ClientToScreen(control, &origin);
  if (rect.right <= 0 || rect.bottom <= 0) return Icon::None;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), rect.right, -rect.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, rect.right, rect.bottom, screen, origin.x, origin.y, SRCCOPY);
  ::GdiFlush();
  int red = 0, yellow = 0;
  for (int i = 0; i < rect.right * rect.bottom; ++i) {
    const DWORD px = static_cast<const DWORD*>(bits)[i];
    const int r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
    red += r > 170 && g < 90 && b < 90;
    yellow += r > 170 && g > 140 && b < 90;
  }
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (red > 60 && red > yellow) return Icon::Stop;
  return yellow > 60 ? Icon::Exclamation : Icon::Other;
}

// The icon once the box has painted it.
Icon BoxIcon(HWND box) {
  HWND control = ::GetDlgItem(box, kBoxIconId);
  if (control == nullptr || Query(control, STM_GETICON) <= 0 || !::IsWindowVisible(control)) return Icon::None;
  Icon icon = Icon::None;
  test::WaitUntil(
      [&] {
        if (::GetUpdateRect(box, nullptr, FALSE) || ::GetUpdateRect(control, nullptr, FALSE)) return false;
        icon = ReadIcon(control);
        return icon == Icon::Stop || icon == Icon::Exclamation;
      },
      kPaintDeadlineMs);
  return icon;
}

using WindowSearch = std::pair<DWORD, std::vector<HWND>>;

BOOL CALLBACK Collect(HWND window, LPARAM context) {
  auto& [pid, found] = *reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == pid) found.push_back(window);
  return TRUE;
}

// The top-level windows of a process.
std::vector<HWND> WindowsOf(DWORD processId) {
  WindowSearch search{processId, {}};
  ::EnumWindows(&Collect, reinterpret_cast<LPARAM>(&search));
  return search.second;
}

}  // namespace

Observation RunStub(const RunOptions& options) {
  Observation seen;
  std::wstring command = L"\"" + options.exe + L"\"" + (options.arguments.empty() ? L"" : L" " + options.arguments);
  const std::wstring directory = options.exe.substr(0, options.exe.find_last_of(L'\\'));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(options.exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                        &startup, &process)) {
    seen.startError = ::GetLastError();
    return seen;
  }
  const sys::UniqueHandle thread(process.hThread), running(process.hProcess);
  std::vector<HWND> handledBoxes;
  HWND dialog = nullptr;
  const ULONGLONG deadline = ::GetTickCount64() + kRunDeadlineMs;
  while (::GetTickCount64() < deadline) {
    if (::WaitForSingleObject(process.hProcess, 2) == WAIT_OBJECT_0) {
      seen.exited = true;
      break;
    }
    const std::vector<HWND> windows = WindowsOf(process.dwProcessId);
    bool visible = false;
    for (HWND window : windows) {
      seen.anyWindow = true;
      visible = visible || ::IsWindowVisible(window);
      if (HWND bar = ::GetDlgItem(window, kProgressId); bar != nullptr) {
        dialog = window;
        const std::wstring caption = TextOf(window);
        if (seen.captions.empty() || seen.captions.back() != caption) seen.captions.push_back(caption);
        if (const LRESULT high = Query(bar, PBM_GETRANGE, FALSE); high >= 0) seen.rangeHigh = static_cast<int>(high);
        if (const LRESULT position = Query(bar, PBM_GETPOS); position >= 0) {
          seen.lastPosition = static_cast<int>(position);
        }
        if (options.action && !seen.acted && seen.lastPosition >= *options.actAtPosition) {
          options.action(process.hProcess, window);
          seen.acted = true;
        }
      } else if (::GetDlgItem(window, kBoxTextId) != nullptr && ::IsWindowVisible(window) &&
                 std::find(handledBoxes.begin(), handledBoxes.end(), window) == handledBoxes.end()) {
        handledBoxes.push_back(window);
        wchar_t text[2048] = {};
        ::GetDlgItemTextW(window, kBoxTextId, text, 2048);
        seen.boxes.push_back({TextOf(window), text, BoxIcon(window)});
        Query(::GetDlgItem(window, IDOK), BM_CLICK);
      }
    }
    seen.windowVisible = seen.windowVisible || visible;
    if (!seen.installerRan && !options.record.empty() && test::Exists(options.record)) {
      seen.installerRan = true;
      seen.stubAliveWhileInstallerRan = ::WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
      // The dialog hides once the installer has started.
      seen.stubHidWhileInstallerRan = test::WaitUntil(
          [&] {
            const std::vector<HWND> now = WindowsOf(process.dwProcessId);
            return std::none_of(now.begin(), now.end(), ::IsWindowVisible);
          },
          kPaintDeadlineMs);
      if (options.whileInstallerRuns) options.whileInstallerRuns(dialog);
      ::SetEvent(options.release);
    }
  }
  if (!seen.exited) ::TerminateProcess(process.hProcess, 0xDEAD);
  ::GetExitCodeProcess(process.hProcess, &seen.exitCode);
  return seen;
}

}  // namespace qf::e2e
