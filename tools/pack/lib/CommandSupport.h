#pragma once

// What every command of quillfen-pack shares: one report of errors and
// warnings, the usage message, paths from arguments, the installer argument
// read and inspected, output to the console or a file, and the command table's
// row.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pack/lib/Args.h"
#include "pack/lib/Commands.h"
#include "pack/lib/PackageReport.h"
#include "pack/lib/SettingsLint.h"
#include "pack/lib/SettingsText.h"

namespace qf::pack {

inline constexpr std::string_view kTool = "quillfen-pack";
// What a package author allows by name, on build and verify alike.
inline constexpr std::string_view kAllowAny = "allow-any-machine";
inline constexpr std::string_view kAllowNone = "allow-no-machine";
inline constexpr std::string_view kAllowOdd = "allow-odd-settings";

// A command: its name, its help, its options and what runs it once its
// arguments are parsed (and no help was asked for).
struct CommandDef {
  std::string_view name;
  std::string_view help;
  std::vector<OptionDef> options;
  int (*run)(const ParsedArgs& args, Console& console);
};
CommandDef BuildCommand();
CommandDef ListCommand();
CommandDef VerifyCommand();
CommandDef ExtractCommand();
CommandDef SettingsCommand();
CommandDef CheckCommand();

// Prints errors and warnings in one form and remembers whether any error came.
class Report {
 public:
  explicit Report(Console& console) : m_console(console) {}
  void Error(const std::string& text) {
    m_console.err << "error: " << text << '\n';
    ++m_errors;
  }
  void Warning(const std::string& text) {
    m_console.err << "warning: " << text << '\n';
    ++m_warnings;
  }
  // A finding that makes the lock other than it looks refuses unless its option allows it.
  void Settings(const std::string& where, const std::vector<Finding>& findings, const ParsedArgs& args);
  bool Failed() const { return m_errors > 0; }
  std::size_t Errors() const { return m_errors; }
  std::size_t Warnings() const { return m_warnings; }
  // With --strict every warning refuses, under an exit status of its own.
  int Exit(bool strict = false) const {
    return Failed() ? kExitProblems : (strict && m_warnings > 0 ? kExitStrict : kExitOk);
  }

 private:
  Console& m_console;
  std::size_t m_errors = 0;
  std::size_t m_warnings = 0;
};

int Usage(Console& console, std::string_view command, const std::string& error);
std::optional<std::u16string> PathArgument(const std::string& text);
bool Exists(const std::u16string& path);

// Whether a file the tool reads can be read: it may be missing, or no regular
// file (a FIFO would make the tool wait for a writer).
enum class Readability { Readable, Missing, NotRegular };
Readability ReadabilityOf(const std::u16string& path);
std::string Describe(Readability readability);

std::optional<Bytes> ReadWholeFile(const std::u16string& path, uint64_t limit);
// Text for the standard output, or for the file named by -o, which may not be
// the installer being read.
int Emit(Console& console, const ParsedArgs& args, const std::u16string& installer, const std::string& text,
         Report& report);
std::string Plural(std::size_t count, const char* one, const char* many);

// The one INSTALLER argument (of at most `maxPositionals`), inspected; reports
// and gives no value when it cannot be read as an installer, with the exit
// status in `exit`.
std::optional<std::pair<std::u16string, Inspection>> LoadInstaller(const ParsedArgs& args, Console& console,
                                                                   std::string_view command, Report& report,
                                                                   std::size_t maxPositionals, int& exit);

}  // namespace qf::pack
