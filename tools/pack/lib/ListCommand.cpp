// quillfen-pack list: the stub, the table and the trailer of an installer.
#include "pack/lib/CommandSupport.h"

namespace qf::pack {
namespace {

constexpr std::string_view kListHelp =
    "usage: quillfen-pack list [--json] [-o FILE] INSTALLER\n"
    "\n"
    "Shows the stub the installer was built on (product, version, machine, the\n"
    "payload digests its record holds), the file table (index, offset, size,\n"
    "directory, name) and the trailer, as text or as JSON.\n"
    "\n"
    "options:\n"
    "      --json       print JSON\n"
    "  -o, --output FILE  write to FILE instead of the standard output\n"
    "  -h, --help       show this help\n";

int List(const ParsedArgs& args, Console& console) {
  Report report(console);
  int exit = kExitOk;
  const auto loaded = LoadInstaller(args, console, "list", report, 1, exit);
  if (!loaded) return exit;
  const std::string& name = args.positionals[0];
  return Emit(console, args, loaded->first,
              args.Has("json") ? ListJson(loaded->second, name) : ListText(loaded->second, name), report);
}

}  // namespace

CommandDef ListCommand() { return {"list", kListHelp, {{"output", 'o', true}, {"json", 0, false}}, List}; }

}  // namespace qf::pack
