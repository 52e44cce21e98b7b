#include "pack/lib/Commands.h"

#include "pack/lib/CommandSupport.h"
#include "pack/lib/Strings.h"
#include "package/PackageFormat.h"
#include "sys/File.h"
#include "sys/Text.h"

namespace qf::pack {
namespace {

constexpr std::string_view kMainHelp =
    "usage: quillfen-pack <command> [options]\n"
    "\n"
    "Builds installers from the stub, a settings file and the files to install,\n"
    "and looks inside installers.\n"
    "\n"
    "commands:\n"
    "  build     write an installer\n"
    "  list      show an installer's table and trailer\n"
    "  verify    check an installer as the stub reads it, and more\n"
    "  extract   write an installer's files into a folder\n"
    "  settings  print an installer's settings as UTF-8\n"
    "  check     whether the installer's platform check accepts a machine\n"
    "\n"
    "'quillfen-pack <command> --help' shows a command's options.\n"
    "Exit status: 0 ok, 1 problems found, 2 wrong usage, 3 warnings under --strict.\n";

}  // namespace

std::u16string DirectoryOf(const std::u16string& path) {
  const std::size_t at = path.find_last_of(u"\\/");
  return at == std::u16string::npos ? std::u16string() : path.substr(0, at + 1);
}

int RunPack(std::span<const std::string> args, Console& console) {
  sys::LiftPathLimit();
  if (args.empty()) {
    console.err << kMainHelp;
    return kExitUsage;
  }
  const std::string& command = args[0];
  if (command == "-h" || command == "--help" || command == "help") {
    console.out << kMainHelp;
    return kExitOk;
  }
  if (command == "--version") {
    console.out << kTool << " " << QF_VERSION << " (package format " << Utf8(package::kVersion) << ")\n";
    return kExitOk;
  }

  for (const CommandDef& c :
       {BuildCommand(), ListCommand(), VerifyCommand(), ExtractCommand(), SettingsCommand(), CheckCommand()}) {
    if (c.name != command) continue;
    const ParsedArgs parsed = ParseArgs(args.subspan(1), c.options);
    if (!parsed.error.empty()) return Usage(console, c.name, parsed.error);
    if (parsed.help) {
      console.out << c.help;
      return kExitOk;
    }
    return c.run(parsed, console);
  }
  return Usage(console, "", "unknown command " + Quoted(sys::Utf8ToUtf16(command).value_or(u"?")));
}

}  // namespace qf::pack
