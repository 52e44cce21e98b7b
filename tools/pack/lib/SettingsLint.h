#pragma once

// Checks a settings text for what the stub would read differently from what
// its author most likely meant, reading it with the stub's own reader.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qf::pack {

// What makes the lock other than its author most likely meant: the build is
// refused unless the author allows that kind by name.
enum class LockRisk {
  None,
  OddSetting,  // a name or a switch the stub reads otherwise than it looks
  AnyMachine,  // no check is on
  NoMachine,   // a check is on that no machine passes
};

struct Finding {
  int line = 0;  // 0 when the finding concerns no single line
  std::string message;
  bool error = false;  // the installer could not work: the build is refused
  LockRisk risk = LockRisk::None;
};

// `packagedPaths` are the paths of the packaged files below the workspace
// (directory and name joined), against which [executable] file is checked.
std::vector<Finding> LintSettings(std::u16string_view text, std::span<const std::u16string> packagedPaths);

}  // namespace qf::pack
