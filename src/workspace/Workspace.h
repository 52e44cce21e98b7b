#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace qf {

// The hidden directory a run extracts into and starts the installer from, and
// its removal: at once by DeleteTree, or at the next logon if the run never
// gets that far or something in it resists.
class Workspace {
 public:
  enum class Outcome {
    Created,     // Path() is the new workspace, its removal registered
    NoRoom,      // no fixed drive has room for the package
    NotCreated,  // the directory could not be made; nothing was registered
  };
  // Makes the workspace at the root of the fixed drive with the most free space,
  // under a name from the system's cryptographic generator, and registers its
  // removal at logon.
  Outcome Create();

  // Writes the RunOnce value that removes Path() at the next logon; the
  // registry's result (a path that is no workspace is refused). Another
  // workspace's removal found under the value's name is kept under a name of its
  // own, never carried out at once.
  LONG ScheduleRemovalAtLogon();
  // Withdraws the RunOnce values that remove `path`, and no other: the
  // registry's result, ERROR_FILE_NOT_FOUND when there was none.
  LONG CancelScheduledRemoval(const std::u16string& path);
  // Deletes everything below `path` and the directory itself; the RunOnce value
  // is left alone. Links are removed, never followed. True when the tree was
  // walked; false for an empty, blank or overlong path, which leaves everything in place.
  bool DeleteTree(const std::u16string& path);

  // The workspace path once Create has made it; empty before and on failure.
  const std::u16string& Path() const { return m_path; }
  // The free space of the chosen drive, as Create measured it.
  uint64_t FreeBytes() const { return m_freeBytes; }
  // Why Create made nothing: the system's error code (0 when it ran out of
  // names). After Created, the registry's result of registering the removal.
  DWORD Error() const { return m_error; }

 private:
  std::u16string m_path;
  uint64_t m_freeBytes = 0;
  DWORD m_error = 0;
};

}  // namespace qf
