#include "StubDriver.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "workspace/LogonRemoval.h"

namespace qf::e2e {
namespace {

constexpr int kProgressId = 1000;
constexpr int kBoxTextId = 0xFFFF;
constexpr int kBoxIconIds[] = {0x440, 0x14};  // Wine's message box, and Windows'
constexpr UINT kQueryTimeoutMs = 1000;
const std::wstring kRunOnceKeyPath(kRunOnceKey.begin(), kRunOnceKey.end());
const std::wstring kRunOnceValue(kRunOnceValueName.begin(), kRunOnceValueName.end());

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(window, text, 1024);
  return text;
}

LRESULT Query(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kQueryTimeoutMs, &result)) return -1;
  return static_cast<LRESULT>(result);
}

struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<DWORD> data;  // 0x00RRGGBB, top row first
};

// Reads a window's area from the screen: another process's window DC gives
// nothing under Wine, the screen does.
Pixels CaptureScreen(HWND window, bool clientOnly) {
  Pixels p;
  RECT rect{};
  POINT origin{0, 0};
  if (clientOnly) {
    ::GetClientRect(window, &rect);
    ::ClientToScreen(window, &origin);
  } else {
    ::GetWindowRect(window, &rect);
    origin = {rect.left, rect.top};
    rect = {0, 0, rect.right - rect.left, rect.bottom - rect.top};
  }
  p.width = rect.right;
  p.height = rect.bottom;
  if (p.width <= 0 || p.height <= 0) return p;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), p.width, -p.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, p.width, p.height, screen, origin.x, origin.y, SRCCOPY);
  ::GdiFlush();
  const auto* source = static_cast<const DWORD*>(bits);
  p.data.assign(source, source + static_cast<std::size_t>(p.width) * p.height);
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return p;
}

// The system's stop icon is mostly red, its exclamation icon mostly yellow.
Icon ClassifyIcon(HWND box) {
  for (int id : kBoxIconIds) {
    HWND control = ::GetDlgItem(box, id);
    if (control == nullptr) continue;
    if (Query(control, STM_GETICON, 0, 0) <= 0 || !::IsWindowVisible(control)) return Icon::None;
    const Pixels p = CaptureScreen(control, true);
    int red = 0;
    int yellow = 0;
    for (DWORD px : p.data) {
      const int r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
      if (r > 170 && g < 90 && b < 90) ++red;
      if (r > 170 && g > 140 && b < 90) ++yellow;
    }
    if (red > 60 && red > yellow) return Icon::Stop;
    if (yellow > 60) return Icon::Exclamation;
    return Icon::Other;
  }
  return Icon::None;
}

void SaveBmp(const Pixels& p, const std::wstring& path) {
  const int rowBytes = p.width * 3 + (4 - (p.width * 3) % 4) % 4;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{sizeof(BITMAPINFOHEADER), p.width, -p.height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(rowBytes * p.height);
  std::ofstream out(std::filesystem::path(path), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  std::vector<unsigned char> row(static_cast<std::size_t>(rowBytes), 0);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const DWORD px = p.data[static_cast<std::size_t>(y) * p.width + x];
      row[x * 3] = px & 0xFF;
      row[x * 3 + 1] = (px >> 8) & 0xFF;
      row[x * 3 + 2] = (px >> 16) & 0xFF;
    }
    out.write(reinterpret_cast<const char*>(row.data()), rowBytes);
  }
}

// Holds every thread of a process but one: the extraction stops while the
// window's thread goes on painting.
class PauseAllBut {
 public:
  PauseAllBut(DWORD processId, DWORD runningThread) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
      if (entry.th32OwnerProcessID != processId || entry.th32ThreadID == runningThread) continue;
      HANDLE thread = ::OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
      if (thread == nullptr) continue;
      if (::SuspendThread(thread) != static_cast<DWORD>(-1)) {
        m_threads.push_back(thread);
      } else {
        ::CloseHandle(thread);
      }
    }
    ::CloseHandle(snapshot);
  }
  ~PauseAllBut() {
    for (HANDLE thread : m_threads) {
      ::ResumeThread(thread);
      ::CloseHandle(thread);
    }
  }
  PauseAllBut(const PauseAllBut&) = delete;
  PauseAllBut& operator=(const PauseAllBut&) = delete;

 private:
  std::vector<HANDLE> m_threads;
};

struct Windows {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM context) {
  auto* w = reinterpret_cast<Windows*>(context);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid == w->pid) w->found.push_back(window);
  return TRUE;
}

}  // namespace

unsigned long long NowFileTime() {
  FILETIME now;
  ::GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

Observation RunStub(const RunOptions& options) {
  Observation seen;
  std::wstring command = L"\"" + options.exe + L"\"";
  if (!options.arguments.empty()) command += L" " + options.arguments;
  const std::wstring directory = options.exe.substr(0, options.exe.find_last_of(L'\\'));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(options.exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                        &startup, &process)) {
    return seen;
  }
  ::CloseHandle(process.hThread);

  std::set<HWND> handledBoxes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (::WaitForSingleObject(process.hProcess, 2) == WAIT_OBJECT_0) {
      seen.exitedAt = NowFileTime();
      seen.exited = true;
      break;
    }
    Windows windows{process.dwProcessId, {}};
    ::EnumWindows(&Collect, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows.found) {
      seen.windows.insert(window);
      if (::IsWindowVisible(window)) seen.windowVisible = true;
      if (ClassOf(window) != L"#32770") continue;
      if (HWND bar = ::GetDlgItem(window, kProgressId); bar != nullptr) {
        seen.dialogSeen = true;
        const std::wstring caption = TextOf(window);
        if (seen.captions.empty() || seen.captions.back() != caption) seen.captions.push_back(caption);
        if (!::IsWindowVisible(window)) seen.dialogHiddenWhileAlive = true;
        const LRESULT low = Query(bar, PBM_GETRANGE, TRUE, 0);
        const LRESULT high = Query(bar, PBM_GETRANGE, FALSE, 0);
        if (low >= 0 && high >= 0) {
          seen.rangeLow = static_cast<int>(low);
          seen.rangeHigh = static_cast<int>(high);
        }
        const LRESULT position = Query(bar, PBM_GETPOS, 0, 0);
        if (position >= 0) seen.lastPosition = static_cast<int>(position);
        if (options.endAtPosition && !seen.endedEarly && seen.lastPosition >= *options.endAtPosition) {
          if (options.endWithClose) {
            ::PostMessageW(window, WM_CLOSE, 0, 0);
          } else {
            ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
          }
          seen.endedEarly = true;
        }
        if (options.action && options.actAtPosition && !seen.acted && seen.lastPosition >= *options.actAtPosition) {
          options.action(process.hProcess);
          seen.acted = true;
        }
        if (!options.screenshot.empty() && !seen.screenshotTaken && seen.lastPosition >= 1 &&
            ::IsWindowVisible(window)) {
          // However fast the extraction, the dialog stays up until it has painted and been captured.
          const PauseAllBut pause(process.dwProcessId, ::GetWindowThreadProcessId(window, nullptr));
          std::this_thread::sleep_for(std::chrono::milliseconds(150));
          SaveBmp(CaptureScreen(window, false), options.screenshot);
          seen.screenshotTaken = true;
        }
      } else if (::GetDlgItem(window, kBoxTextId) != nullptr && ::IsWindowVisible(window) &&
                 handledBoxes.insert(window).second) {
        // Let the box paint before its icon is read from the screen.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        wchar_t text[2048] = {};
        ::GetDlgItemTextW(window, kBoxTextId, text, 2048);
        seen.boxes.push_back({TextOf(window), text, ClassifyIcon(window)});
        HWND ok = ::GetDlgItem(window, IDOK);
        if (ok == nullptr) ok = ::GetDlgItem(window, IDCANCEL);
        Query(ok, BM_CLICK, 0, 0);
      }
    }
  }
  if (!seen.exited) ::TerminateProcess(process.hProcess, 0xDEAD);
  ::GetExitCodeProcess(process.hProcess, &seen.exitCode);
  ::CloseHandle(process.hProcess);
  return seen;
}

std::map<std::string, std::string> ReadRecord(const std::wstring& path) {
  std::map<std::string, std::string> values;
  std::ifstream in{std::filesystem::path(path)};
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

std::set<std::wstring> WorkspaceCandidates() {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW(L"C:\\*", &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    bool letters = name.size() == 15;
    for (wchar_t c : name) letters = letters && c >= L'a' && c <= L'z';
    if (letters && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(name);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return names;
}

std::optional<std::wstring> RunOnceValue() {
  wchar_t value[1024] = {};
  DWORD size = sizeof value;
  if (::RegGetValueW(HKEY_CURRENT_USER, kRunOnceKeyPath.c_str(), kRunOnceValue.c_str(), RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(value);
}

void DeleteRunOnceValue() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunOnceKeyPath.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    ::RegDeleteValueW(key, kRunOnceValue.c_str());
    ::RegCloseKey(key);
  }
}

void SetRunOnceValue(const std::wstring& command) {
  ::RegSetKeyValueW(HKEY_CURRENT_USER, kRunOnceKeyPath.c_str(), kRunOnceValue.c_str(), REG_SZ, command.c_str(),
                    static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
}

std::string HostPath(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (toUnix == nullptr) return {};
  char* unix = toUnix(path.c_str());
  if (unix == nullptr) return {};
  std::string result = unix;
  ::HeapFree(::GetProcessHeap(), 0, unix);
  return result;
}

bool StartHostProgram(const std::wstring& program, const std::wstring& commandLine) {
  std::wstring command = commandLine;
  const std::wstring executable = L"\\\\?\\unix" + program;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(executable.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    return false;
  }
  if (process.hThread) ::CloseHandle(process.hThread);
  if (process.hProcess) ::CloseHandle(process.hProcess);
  return true;
}

std::wstring OwnDirectory() {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring path = self;
  return path.substr(0, path.find_last_of(L'\\'));
}

}  // namespace qf::e2e
