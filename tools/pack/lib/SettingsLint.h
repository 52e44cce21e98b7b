#pragma once

// Checks a settings text for what the stub would read differently from what
// its author most likely meant, reading it with the stub's own reader.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qf::pack {

struct Finding {
  int line = 0;  // 0 when the finding concerns no single line
  std::string message;
  bool error = false;  // the installer could not work: the build is refused
};

// `packagedPaths` are the paths of the packaged files below the workspace
// (directory and name joined), against which [executable] file is checked.
std::vector<Finding> LintSettings(std::u16string_view text, std::span<const std::u16string> packagedPaths);

}  // namespace qf::pack
