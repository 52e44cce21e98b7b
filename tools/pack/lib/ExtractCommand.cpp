// quillfen-pack extract: an installer's files written into a folder.
#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "pack/lib/CommandSupport.h"
#include "pack/lib/PackPlan.h"
#include "pack/lib/SafeOutput.h"
#include "pack/lib/Strings.h"
#include "package/EntryCopy.h"
#include "package/PackageFormat.h"
#include "package/PathSafety.h"
#include "sys/File.h"
#include "sys/Text.h"

namespace qf::pack {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kExtractName = "extract";

constexpr std::string_view kExtractHelp =
    "usage: quillfen-pack extract [-o FOLDER] [--index N] INSTALLER [ENTRY]\n"
    "\n"
    "Writes every file of the installer, or only ENTRY (its path in the package,\n"
    "such as sub\\setup.exe) or the entry of index N, into FOLDER (default: the\n"
    "current folder), with the installer's folders below it. Entries that would\n"
    "land outside FOLDER are refused.\n"
    "\n"
    "options:\n"
    "  -o, --output FOLDER  where to write the files\n"
    "      --index N        only the entry of index N\n"
    "  -h, --help           show this help\n";

// Writes one entry below `folder`, through no link at any level, never over the
// installer, and over an existing file only once the entry is whole. Empty on
// success, else the message.
std::string ExtractEntry(sys::File& package, const std::u16string& installer, const PackageEntry& e,
                         const std::u16string& folder) {
  fs::path at = FsPath(folder);
  std::u16string shown;
  std::u16string rest = e.directory + e.name;
  for (std::size_t start = 0; start < rest.size();) {
    const std::size_t end = std::min(rest.find(u'\\', start), rest.size());
    const std::u16string part = rest.substr(start, end - start);
    shown += part;
    at /= FsPath(part);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(at, ec);
    if (fs::is_symlink(status))
      return Utf8(shown) + ": is a link, which is not followed; nothing is written through it";
    if (end == rest.size()) break;
    if (!fs::exists(status) && !fs::create_directory(at, ec) && ec) {
      return Utf8(shown) + ": cannot be made below " + Utf8(folder) + " (" + ec.message() + ")";
    }
    if (!fs::is_directory(at, ec)) return Utf8(shown) + ": is not a folder";
    shown += u'\\';
    start = end + 1;
  }
  const std::u16string target = CorePath(at);
  if (std::string why = WhyNotAnOutput(target, std::span(&installer, 1)); !why.empty()) {
    std::error_code ec;
    return Utf8(shown) + ": " + (fs::equivalent(at, FsPath(installer), ec) ? "is the installer being read" : why);
  }
  TemporaryOutput out(target, std::span(&installer, 1));
  if (!out.IsOpen()) return Utf8(shown) + ": cannot be written below " + Utf8(folder) + " (" + LastSystemError() + ")";
  if (!package.SeekTo(static_cast<uint32_t>(e.offset))) return Utf8(shown) + ": cannot be read from the installer";
  switch (package::CopyEntryData(package, e.size, out.File())) {
    case package::CopyOutcome::Copied:
    case package::CopyOutcome::Cancelled:
      break;
    case package::CopyOutcome::ReadFailed:
      return Utf8(shown) + ": cannot be read from the installer";
    case package::CopyOutcome::WriteFailed:
      return Utf8(shown) + ": cannot be written below " + Utf8(folder) + " (" + LastSystemError() + ")";
  }
  if (std::string why = out.Commit(); !why.empty()) {
    return Utf8(shown) + ": cannot be written below " + Utf8(folder) + " (" + why + ")";
  }
  return {};
}

int Extract(const ParsedArgs& args, Console& console) {
  Report report(console);
  int exit = kExitOk;
  const auto loaded = LoadInstaller(args, console, kExtractName, report, 2, exit);
  if (!loaded) return exit;
  const auto& [path, ins] = *loaded;

  std::vector<std::size_t> selected;
  if (args.Has("index")) {
    const std::string text = args.Get("index");
    const bool number =
        !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const std::size_t index = number && text.size() < 6 ? std::stoul(text) : ins.entries.size();
    if (index >= ins.entries.size()) {
      return Usage(console, kExtractName,
                   "--index must be below the entry count " + std::to_string(ins.entries.size()));
    }
    selected.push_back(index);
  }
  if (args.positionals.size() == 2) {
    auto wanted = sys::Utf8ToUtf16(args.positionals[1]).value_or(u"");
    std::replace(wanted.begin(), wanted.end(), u'/', u'\\');
    for (std::size_t i = 0; i < ins.entries.size(); ++i) {
      if (EntryPath(ins.entries[i]) == wanted) selected.push_back(i);
    }
    if (selected.empty()) {
      report.Error(args.positionals[0] + ": no entry " + args.positionals[1]);
      return report.Exit();
    }
  }
  if (selected.empty()) {
    for (std::size_t i = 0; i < ins.entries.size(); ++i) selected.push_back(i);
  }

  const auto folder = PathArgument(args.Get("output", "."));
  if (!folder) return Usage(console, kExtractName, "not a usable folder: " + args.Get("output"));
  if (std::error_code ec; !fs::is_directory(FsPath(*folder), ec) && !fs::create_directories(FsPath(*folder), ec)) {
    report.Error(Utf8(*folder) + ": cannot be made (" + ec.message() + ")");
    return report.Exit();
  }
  sys::File package = sys::File::OpenRead(path);
  if (!package) {
    report.Error(args.positionals[0] + ": cannot be read again (" + LastSystemError() + ")");
    return report.Exit();
  }
  for (std::size_t index : selected) {
    const PackageEntry& e = ins.entries[index];
    const std::string shown = Utf8(EntryPath(e));
    std::string why;
    if (!package::IsSafeEntryPath(e.directory, e.name)) {
      why = shown + ": refused, it would not be a plain file below " + Utf8(*folder);
    } else if (std::string damage = DataDamage(ins, index); !damage.empty()) {
      why = shown + ": refused, " + damage;
    } else {
      why = ExtractEntry(package, path, e, *folder);
    }
    if (!why.empty()) {
      report.Error(why);
      continue;
    }
    console.out << shown << " (" << e.size << " bytes)\n";
  }
  return report.Exit();
}

}  // namespace

CommandDef ExtractCommand() {
  return {kExtractName, kExtractHelp, {{"output", 'o', true}, {"index", 0, true}}, Extract};
}

}  // namespace qf::pack
