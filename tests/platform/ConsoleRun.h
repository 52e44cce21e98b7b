#pragma once

#include <string>

#include "support/TestFiles.h"

namespace qf::platform::test {

struct Captured {
  unsigned long exitCode = 0;
  qf::test::Bytes output;  // standard output and standard error, as written
};

// Runs a command line to its end with its output going to a file, then reads
// the file: a pipe would not reach its end under Wine while a console host
// holds the writing side.
Captured RunCaptured(std::wstring commandLine);

// What "wmic <alias> get manufacturer" prints below its heading, blanks at
// the end of the column removed. wmic writes UTF-16 with a mark when its
// output is not a console.
std::u16string WmicManufacturer(const std::wstring& alias);

}  // namespace qf::platform::test
