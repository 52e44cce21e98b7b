#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "sys/Unique.h"

namespace qf {

// Starts the installer program through the shell and watches its process. Holds no state.
class ProcessLauncher {
 public:
  // The new process's handle, which is empty when the shell handed the file to
  // a process that runs already; nothing when the shell refused. The shell
  // shows no box of its own: the caller reports the failure.
  std::optional<sys::UniqueHandle> LaunchProgram(const std::u16string& file, const std::u16string& parameters) const;
  // The process's id, or 0 with the thread's last error set.
  DWORD GetProcessIdFromHandle(HANDLE process) const;
  // Whether a process with this id is in the system's process list.
  bool IsProcessRunning(DWORD processId) const;
  // The poll's question. Without a process id the handle decides: ended when it
  // is signalled, and at once when there is no handle to wait on, since the
  // process list always holds an entry with id 0.
  bool InstallerHasEnded(HANDLE process, DWORD processId) const;
};

}  // namespace qf
