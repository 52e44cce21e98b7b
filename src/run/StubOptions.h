#pragma once

#include <optional>
#include <span>
#include <string>

namespace qf::run {

// What the stub's own command line asks for. Every other argument is ignored,
// so a stub started with arguments it does not know runs as without them.
struct StubOptions {
  bool silent = false;                  // "/S": no window, no message box
  std::optional<std::u16string> log;    // "/LOG=path": a UTF-8 log of the run
};

// The arguments after the program's own name, as the system split them.
// Switches match without regard to letter case, anywhere among the arguments;
// a quoted path keeps its blanks, and an empty one asks for no log.
StubOptions ParseStubArguments(std::span<const std::u16string> arguments);

}  // namespace qf::run
