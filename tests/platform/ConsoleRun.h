#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qf::test {

struct Captured {
  long exitCode = -1;  // -1: it did not run to an exit (127 from the shell on Linux: no such program)
  std::string output;  // standard output and standard error, as written
};

// Runs a program (looked up on PATH when given without a folder) with its
// arguments to its end through the system's shell. Its output goes to a file
// that is read afterwards: a pipe would not reach its end under Wine while a
// console host holds the writing side.
Captured RunCaptured(const std::vector<std::filesystem::path>& command);

#ifdef _WIN32
// What "wmic <alias> get manufacturer" prints below its heading, blanks at the
// end removed. wmic writes UTF-16 with a mark when its output is not a console.
std::u16string WmicManufacturer(const wchar_t* alias);
#endif

}  // namespace qf::test
