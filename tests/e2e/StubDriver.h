#pragma once
// Runs a packed stub under Wine and follows it from the outside: its dialog's
// captions and bar, every message box (read, then dismissed with OK), and the
// moment the test installer runs.
#include <windows.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qf::e2e {

enum class Icon { None, Stop, Exclamation, Other };

struct SeenBox {
  std::wstring caption;
  std::wstring text;
  Icon icon = Icon::None;
  bool operator==(const SeenBox&) const = default;
  friend void PrintTo(const SeenBox& box, std::ostream* out) {
    *out << "[" << std::string(box.caption.begin(), box.caption.end()) << "] "
         << std::string(box.text.begin(), box.text.end()) << " icon " << static_cast<int>(box.icon);
  }
};

struct RunOptions {
  std::wstring exe = {};
  std::wstring arguments = {};  // after the program's quoted path
  // The test installer's record and release event: once the record appears
  // the driver looks at the stub, calls `whileInstallerRuns` with the stub's
  // dialog, then releases it.
  std::wstring record = {};
  HANDLE release = nullptr;
  std::function<void(HWND dialog)> whileInstallerRuns = {};
  // Called once, when the bar first reaches `actAtPosition`, with the stub's process and dialog.
  std::optional<int> actAtPosition = {};
  std::function<void(HANDLE process, HWND dialog)> action = {};
};

struct Observation {
  DWORD startError = 0;  // CreateProcess's, when the stub could not be started
  bool exited = false;
  DWORD exitCode = 0;
  std::vector<std::wstring> captions;  // the dialog's, in the order seen
  int rangeHigh = -1;
  int lastPosition = -1;
  std::vector<SeenBox> boxes;
  bool anyWindow = false;
  bool windowVisible = false;
  bool acted = false;
  bool installerRan = false;
  bool stubAliveWhileInstallerRan = false;
  bool stubHidWhileInstallerRan = false;
};

Observation RunStub(const RunOptions& options);

}  // namespace qf::e2e
