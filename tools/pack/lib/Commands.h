#pragma once

// The subcommands of quillfen-pack. The program's main only gathers its
// arguments as UTF-8 and its console, and calls RunPack.

#include <ostream>
#include <span>
#include <string>

namespace qf::pack {

inline constexpr int kExitOk = 0;
inline constexpr int kExitProblems = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStrict = 3;  // --strict: warnings only, and they refuse

struct Console {
  std::ostream& out;
  std::ostream& err;
  bool errIsTerminal = false;    // a progress bar only goes to a terminal
  std::u16string toolDirectory;  // where the default stub lies; may be empty
};

// The folder part of a path, with its separator; empty when there is none.
std::u16string DirectoryOf(const std::u16string& path);

// `args` without the program's own name.
int RunPack(std::span<const std::string> args, Console& console);

}  // namespace qf::pack
