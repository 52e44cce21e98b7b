#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qf::run {

// What the stub's own command line asks for. Every other argument is ignored,
// so a stub started with arguments it does not know runs as without them.
struct StubOptions {
  bool silent = false;                // "/S": no window, no message box
  std::optional<std::u16string> log;  // "/LOG=path": a UTF-8 log of the run

  // Takes one argument after the program's own name, as the system split
  // them, in their order. Switches match without regard to letter case; a
  // quoted path keeps its blanks, and an empty one asks for no log.
  void Apply(std::u16string_view argument);
};

}  // namespace qf::run
