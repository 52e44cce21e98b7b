#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qf::e2e {

enum class Icon { None, Stop, Exclamation, Other };

struct SeenBox {
  std::wstring caption;
  std::wstring text;
  Icon icon = Icon::None;
};

struct RunOptions {
  explicit RunOptions(std::wstring program) : exe(std::move(program)) {}
  std::wstring exe;
  std::wstring arguments;  // after the program's quoted path
  DWORD timeoutMs = 90000;
  // Ends the dialog early once its bar has reached this position: with the
  // Escape key, or with WM_CLOSE sent from outside.
  std::optional<int> endAtPosition;
  bool endWithClose = false;
  // Saves the dialog as a BMP once its bar has reached position 1.
  std::wstring screenshot;
  // Called once, the first time the bar has reached `actAtPosition`, with the
  // stub's process (which it may end from the outside).
  std::optional<int> actAtPosition;
  std::function<void(HANDLE process)> action;
};

// What a run of the stub showed, followed by process id from the outside.
struct Observation {
  bool exited = false;
  DWORD exitCode = 0;
  unsigned long long exitedAt = 0;  // FILETIME units, as the test installer writes them
  std::vector<std::wstring> captions;  // the dialog's captions, in the order seen
  int rangeLow = -1;
  int rangeHigh = -1;
  int lastPosition = -1;
  std::vector<SeenBox> boxes;  // every message box, each dismissed with OK
  bool dialogSeen = false;
  bool dialogHiddenWhileAlive = false;
  std::set<HWND> windows;  // every top-level window of the process
  bool windowVisible = false;  // one of them was seen visible
  bool endedEarly = false;
  bool screenshotTaken = false;
  bool acted = false;
};

Observation RunStub(const RunOptions& options);

unsigned long long NowFileTime();
std::map<std::string, std::string> ReadRecord(const std::wstring& path);
// Directories at the root of C: named like a workspace (fifteen lower-case letters).
std::set<std::wstring> WorkspaceCandidates();
std::optional<std::wstring> RunOnceValue();
void DeleteRunOnceValue();
void SetRunOnceValue(const std::wstring& command);
std::wstring OwnDirectory();

// The host's path of a file under Wine, and a host program run by Wine
// (without a process handle: the caller waits for its effect).
std::string HostPath(const std::wstring& path);
bool StartHostProgram(const std::wstring& program, const std::wstring& commandLine);

}  // namespace qf::e2e
