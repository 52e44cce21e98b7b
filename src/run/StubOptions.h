#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qf::run {

// What the stub's own command line asks for. Every other argument is ignored,
// so a stub started with arguments it does not know runs as without them.
struct StubOptions {
  // "/S", "/SILENT", "/VERYSILENT", "/QUIET" or "/Q", as admins type them for
  // any installer: no window, no message box.
  bool silent = false;
  std::optional<std::u16string> log;  // "/LOG=path": a UTF-8 log of the run
  std::u16string parameters;          // "/PARAMS=text": added to the program's parameters

  // Takes one argument after the program's own name, as the system split
  // them, in their order. Switches match without regard to letter case; a
  // quoted value keeps its blanks, and an empty log path asks for no log.
  void Apply(std::u16string_view argument);
  // Adds the deploy-time parameters to the program's own from the settings,
  // after a blank.
  void AddParameters(std::u16string& program) const;
};

}  // namespace qf::run
