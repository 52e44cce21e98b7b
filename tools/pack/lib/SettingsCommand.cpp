// quillfen-pack settings: an installer's settings file as UTF-8.
#include "pack/lib/CommandSupport.h"
#include "pack/lib/Strings.h"
#include "package/PackageFormat.h"

namespace qf::pack {
namespace {

constexpr std::string_view kSettingsHelp =
    "usage: quillfen-pack settings [-o FILE] INSTALLER\n"
    "\n"
    "Prints the installer's settings file as UTF-8, one line per line.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE  write to FILE instead of the standard output\n"
    "  -h, --help         show this help\n";

int Settings(const ParsedArgs& args, Console& console) {
  Report report(console);
  int exit = kExitOk;
  const auto loaded = LoadInstaller(args, console, "settings", report, 1, exit);
  if (!loaded) return exit;
  const auto& [path, ins] = *loaded;
  const PackageEntry& last = ins.entries.back();
  if (!package::IsSettingsEntry(last)) {
    report.Error(args.positionals[0] + ": the last entry is not the settings file");
    return report.Exit();
  }
  if (last.size > package::kMaxSettingsBytes) {
    report.Error(args.positionals[0] + ": " + SettingsTooLarge(last));
    return report.Exit();
  }
  const auto bytes = ReadEntryBytes(path, last, package::kMaxSettingsBytes);
  const auto text = bytes ? DecodePackedSettings(*bytes) : std::nullopt;
  if (!text) {
    report.Error(args.positionals[0] + ": the settings file is not UTF-16LE text with a byte-order mark");
    return report.Exit();
  }
  std::u16string lines;
  for (std::size_t i = 0; i < text->size(); ++i) {
    if ((*text)[i] == u'\r' && i + 1 < text->size() && (*text)[i + 1] == u'\n') continue;
    lines.push_back((*text)[i]);
  }
  return Emit(console, args, path, Utf8(lines), report);
}

}  // namespace

CommandDef SettingsCommand() { return {"settings", kSettingsHelp, {{"output", 'o', true}}, Settings}; }

}  // namespace qf::pack
