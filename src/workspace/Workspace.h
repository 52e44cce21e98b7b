#pragma once

#include <cstdint>
#include <string>

namespace qf {

// The hidden directory a run extracts into and starts the installer from, and
// its removal: at once by DeleteTree, or at the next logon if the run never
// gets that far.
class Workspace {
 public:
  // Makes the workspace at the root of the fixed drive with the most free space
  // and registers its removal at logon; returns its path, or kNoWorkspace (" ")
  // when the drive has no room or no new directory could be made.
  std::u16string Create();
  // The same with the names drawn from `seed` instead of the time in seconds.
  std::u16string Create(uint32_t seed);

  // 1 when the RunOnce value naming Path() was written, else 0.
  int ScheduleRemovalAtLogon();
  // 1 when the RunOnce key could be opened (the value is gone then), else 0.
  int CancelScheduledRemoval();
  // Deletes everything below `path` and the directory itself, then withdraws the
  // RunOnce value. Links are removed, never followed. 1 when the tree was walked;
  // 0 for an empty, blank or overlong path, which leaves everything in place.
  int DeleteTree(const std::u16string& path);

  // The drive text of the chosen drive during Create, then the workspace path.
  const std::u16string& Path() const { return m_path; }

 private:
  std::u16string m_path;
};

}  // namespace qf
