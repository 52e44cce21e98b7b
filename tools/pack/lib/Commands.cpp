#include "pack/lib/Commands.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <system_error>

#include "pack/lib/Args.h"
#include "pack/lib/Authenticode.h"
#include "pack/lib/Branding.h"
#include "pack/lib/CheckCommand.h"
#include "pack/lib/PackPlan.h"
#include "pack/lib/PackageReport.h"
#include "pack/lib/PeChecksum.h"
#include "pack/lib/Progress.h"
#include "pack/lib/SafeOutput.h"
#include "pack/lib/SettingsLint.h"
#include "pack/lib/SettingsText.h"
#include "pack/lib/Strings.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "package/PackageWriter.h"
#include "package/PathSafety.h"
#include "package/StubRecord.h"
#include "sys/File.h"
#include "sys/Text.h"

namespace qf::pack {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kTool = "quillfen-pack";
constexpr std::u16string_view kStubName = u"quillfen-stub.exe";
// What a package author allows by name, on build and verify alike.
constexpr std::string_view kAllowAny = "allow-any-machine";
constexpr std::string_view kAllowNone = "allow-no-machine";
constexpr std::string_view kAllowOdd = "allow-odd-settings";
// The options that write the package author's version information, and the key each fills.
constexpr std::pair<std::string_view, std::u16string_view> kVersionFields[] = {
    {"company", u"CompanyName"},      {"description", u"FileDescription"},    {"version", u"FileVersion"},
    {"copyright", u"LegalCopyright"}, {"original-name", u"OriginalFilename"}, {"product", u"ProductName"},
    {"version", u"ProductVersion"}};
constexpr uint64_t kMaxIconBytes = 4u << 20;
constexpr uint64_t kMaxStubBytes = 64u << 20;

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

constexpr std::string_view kBuildHelp =
    "usage: quillfen-pack build [options] -o INSTALLER INPUT...\n"
    "\n"
    "Writes INSTALLER: the stub, the files of every INPUT, and the settings file\n"
    "as the last entry. A folder INPUT stands for everything below it, its\n"
    "subfolders becoming folders of the workspace; a file INPUT goes to the top.\n"
    "The settings file may be UTF-8 or UTF-16 with any line ending; it is stored\n"
    "as UTF-16LE with a byte-order mark and CR LF, as the stub reads it.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE    the installer to write (required)\n"
    "  -s, --stub FILE      the stub, quillfen-stub.exe (default: the one beside\n"
    "                       this tool); no other program, and no installer\n"
    "      --settings FILE  the settings file (default: $Settings.ini at the top\n"
    "                       of a single folder INPUT)\n"
    "  -q, --quiet          print only warnings and errors\n"
    "      --strict         refuse on any warning too (exit status 3)\n"
    "      --allow-any-machine\n"
    "                       build although no check is on\n"
    "      --allow-no-machine\n"
    "                       build although a check is on that no machine passes\n"
    "      --allow-odd-settings\n"
    "                       build although a section, key or switch of the checks\n"
    "                       is one the stub reads otherwise than it looks\n"
    "      --product TEXT, --company TEXT, --description TEXT, --copyright TEXT,\n"
    "      --original-name TEXT (such as setup.exe), --version N.N.N.N\n"
    "                       the installer's version information, in place of the\n"
    "                       stub's: only the texts given (each 1 to 255 characters)\n"
    "      --icon FILE.ico  the installer's icon, in place of the stub's: an icon\n"
    "                       file of one or more images (PNG or bitmap)\n"
    "  -h, --help           show this help\n"
    "\n"
    "Nothing is written (exit status 1) when a file cannot be packed, when\n"
    "[executable] file names no packaged file, or when the checks would not be\n"
    "what they look like: no check on, a check no machine passes, a section or key\n"
    "of the checks in another letter case or unknown, a switch such as \"yes\" or\n"
    "\"01\" that leaves its check off. The --allow options build such an installer\n"
    "anyway, the finding then a warning. Other warnings do not stop the build\n"
    "unless --strict is given.\n"
    "The installer's PE checksum is set over the whole file, package included.\n";

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

constexpr std::string_view kVerifyHelp =
    "usage: quillfen-pack verify [-q] [--strict] [--allow-...] [--ca FILE] INSTALLER\n"
    "\n"
    "Checks everything the stub checks when it reads the package, and that every\n"
    "file's data lies inside the data region, that the stub can extract every\n"
    "file, that the settings file is last and readable; then checks the settings\n"
    "as build does, refusing what build refuses.\n"
    "The installer must be built on a Quillfen stub; the payload digests its record\n"
    "holds are checked as the stub checks them: the list, the table and trailer,\n"
    "every file's data. An installer without digests (another writer) is read\n"
    "unchecked, as the stub reads it.\n"
    "A signed installer's signature is checked as a verifier checks it, one line\n"
    "per check: the certificate table holds one PKCS#7 signature and nothing else,\n"
    "the image digest, the signed attributes' message digest, the signer's\n"
    "signature over them, and the signer's certificate against its issuer when\n"
    "the table carries it.\n"
    "Exit status 1 names what is broken.\n"
    "\n"
    "options:\n"
    "  -q, --quiet    print only problems and warnings\n"
    "      --strict   refuse on any warning too (exit status 3)\n"
    "      --allow-any-machine, --allow-no-machine, --allow-odd-settings\n"
    "                 accept what build accepts with the same option, as a warning\n"
    "      --ca FILE  check the signer's chain up to a root of FILE (PEM) only\n"
    "  -h, --help     show this help\n";

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

constexpr std::string_view kSettingsHelp =
    "usage: quillfen-pack settings [-o FILE] INSTALLER\n"
    "\n"
    "Prints the installer's settings file as UTF-8, one line per line.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE  write to FILE instead of the standard output\n"
    "  -h, --help         show this help\n";

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
  void Settings(const std::string& where, const std::vector<Finding>& findings, const ParsedArgs& args) {
    for (const Finding& f : findings) {
      std::string text = where;
      if (f.line > 0) text += ':' + std::to_string(f.line);
      text += ": " + f.message;
      const std::string_view allow = AllowOption(f.risk);
      if (f.error) {
        Error(text);
      } else if (!allow.empty() && !args.Has(allow)) {
        Error(text + " (refused without --" + std::string(allow) + ")");
      } else {
        Warning(text);
      }
    }
  }
  bool Failed() const { return m_errors > 0; }
  std::size_t Errors() const { return m_errors; }
  std::size_t Warnings() const { return m_warnings; }
  // With --strict every warning refuses, under an exit status of its own.
  int Exit(bool strict = false) const {
    return Failed() ? kExitProblems : (strict && m_warnings > 0 ? kExitStrict : kExitOk);
  }

 private:
  static std::string_view AllowOption(LockRisk risk) {
    switch (risk) {
      case LockRisk::OddSetting:
        return kAllowOdd;
      case LockRisk::AnyMachine:
        return kAllowAny;
      case LockRisk::NoMachine:
        return kAllowNone;
      case LockRisk::None:
        break;
    }
    return {};
  }

  Console& m_console;
  std::size_t m_errors = 0;
  std::size_t m_warnings = 0;
};

int Usage(Console& console, std::string_view command, const std::string& error) {
  console.err << kTool << (command.empty() ? "" : " ") << command << ": " << error << '\n'
              << "Try '" << kTool << (command.empty() ? "" : " ") << command << " --help'.\n";
  return kExitUsage;
}

std::optional<std::u16string> PathArgument(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return sys::Utf8ToUtf16(text);
}

bool Exists(const std::u16string& path) {
  std::error_code ec;
  return fs::is_regular_file(FsPath(path), ec);
}

// Why a file the tool reads cannot be read: missing, or no regular file (a FIFO
// would make the tool wait for a writer).
std::string WhyNotReadable(const std::u16string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(FsPath(path), ec);
  if (!fs::exists(status)) return "no such file";
  if (!fs::is_regular_file(status)) return "not a regular file";
  return {};
}

std::optional<Bytes> ReadWholeFile(const std::u16string& path, uint64_t limit) {
  sys::File file = sys::File::OpenRead(path);
  const auto size = file ? file.Size() : std::nullopt;
  if (!size || *size > limit) return std::nullopt;
  Bytes bytes(static_cast<std::size_t>(*size));
  if (!bytes.empty() && file.Read(bytes.data(), static_cast<uint32_t>(bytes.size())) != static_cast<int64_t>(*size)) {
    return std::nullopt;
  }
  return bytes;
}

// Text for the standard output, or for the file named by -o, which may not be
// the installer being read.
int Emit(Console& console, const ParsedArgs& args, const std::u16string& installer, const std::string& text,
         Report& report) {
  if (!args.Has("output")) {
    console.out << text << std::flush;
    return report.Exit();
  }
  const auto path = PathArgument(args.Get("output"));
  if (!path) return Usage(console, "", "not a usable path: " + args.Get("output"));
  if (std::string why = WhyNotAnOutput(*path, {}); !why.empty()) {
    report.Error(args.Get("output") + ": " + why);
  } else if (std::error_code ec; fs::equivalent(FsPath(*path), FsPath(installer), ec)) {
    report.Error(args.Get("output") + ": is the installer being read");
  } else {
    TemporaryOutput out(*path, std::span(&installer, 1));
    std::string why = !out.IsOpen() ? LastSystemError() : "";
    if (why.empty() && !out.File().WriteAll(text.data(), text.size())) why = LastSystemError();
    if (why.empty()) why = out.Commit();
    if (!why.empty()) report.Error(args.Get("output") + ": cannot be written (" + why + ")");
  }
  return report.Exit();
}

std::string Plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// ---- build ----

struct BuildInputs {
  std::u16string output;
  std::u16string stub;
  std::optional<uint64_t> stubRecordAt;  // where the stub keeps its record, which gets the package's digests
  uint64_t checksumAt = 0;               // where its headers keep the PE checksum
  std::optional<Bytes> brandedStub;      // the stub with the author's version information or icon
  std::u16string settings;
  std::vector<std::u16string> inputs;
};

// Streams the installer into `out`; false after reporting what failed.
bool WriteInstaller(const BuildInputs& in, sys::File& out, const std::vector<PlannedFile>& files, const Bytes& settings,
                    ProgressMeter& meter, Report& report) {
  package::FileSink sink(out);
  package::PackageWriter writer(sink);
  // A failed write is the output's (a full disk), whichever input was being copied.
  auto failed = [&](const std::u16string& what, package::WriteError error) {
    if (error == package::WriteError::WriteFailed) {
      const std::string why = LastSystemError();
      report.Error(why == "no space left" ? why + " writing " + Utf8(in.output)
                                          : Utf8(in.output) + ": cannot be written (" + why + ")");
    } else {
      report.Error(Utf8(what) + ": " + package::Describe(error));
    }
    return false;
  };

  sys::File stub = sys::File::OpenRead(in.stub);
  if (!stub) return failed(in.stub, package::WriteError::ReadFailed);
  package::FileSource stubSource(stub);
  package::MemorySource brandedSource(in.brandedStub ? std::span<const unsigned char>(*in.brandedStub)
                                                     : std::span<const unsigned char>());
  package::ByteSource& stubImage = in.brandedStub ? static_cast<package::ByteSource&>(brandedSource) : stubSource;
  if (auto e = writer.AppendStub(stubImage); e != package::WriteError::None) return failed(in.stub, e);
  if (in.stubRecordAt) {
    const auto entries = static_cast<uint32_t>(files.size() + 1);
    if (auto e = writer.ReserveDigests(*in.stubRecordAt, entries); e != package::WriteError::None) {
      return failed(in.output, e);
    }
  }

  for (const PlannedFile& f : files) {
    sys::File source = sys::File::OpenRead(f.source);
    if (!source) return failed(f.source, package::WriteError::ReadFailed);
    package::FileSource fileSource(source);
    CountingSource counted(fileSource, meter);
    const uint64_t before = writer.BytesWritten();
    if (auto e = writer.AddEntry(f.name, f.directory, counted); e != package::WriteError::None) {
      return failed(f.source, e);
    }
    // Every limit was checked against the planned sizes.
    if (writer.BytesWritten() - before != f.size) {
      report.Error(Utf8(f.source) + ": changed while it was being packed");
      return false;
    }
  }
  package::MemorySource settingsSource(settings);
  if (auto e = writer.AddEntry(package::kSettingsName, u"", settingsSource); e != package::WriteError::None) {
    return failed(in.settings, e);
  }
  if (auto e = writer.Finish(); e != package::WriteError::None) return failed(in.output, e);
  return true;
}

// The version information and icon the options give; reports what cannot be used.
Branding ReadBrandingOptions(const ParsedArgs& args, Report& report) {
  Branding branding;
  for (const auto& [option, key] : kVersionFields) {
    if (!args.Has(option)) continue;
    const auto value = sys::Utf8ToUtf16(args.Get(option));
    if (!value || value->empty() || value->size() > kMaxBrandingUnits ||
        std::any_of(value->begin(), value->end(), [](char16_t c) { return c < u' '; })) {
      if (key != u"ProductVersion") {
        report.Error("--" + std::string(option) + ": not 1 to " + std::to_string(kMaxBrandingUnits) +
                     " characters of UTF-8 text without control characters");
      }
      continue;
    }
    branding.strings.emplace_back(key, *value);
  }
  if (args.Has("version")) {
    if (std::string why = ParseVersion(args.Get("version"), branding.version); !why.empty()) {
      report.Error("--version: " + why);
    }
  }
  if (args.Has("icon")) {
    const auto path = PathArgument(args.Get("icon"));
    const auto icon = path ? ReadWholeFile(*path, kMaxIconBytes) : std::nullopt;
    if (!icon) {
      report.Error(args.Get("icon") + ": cannot be read as an icon file (at most 4 MiB)");
    } else if (std::string why = WhyNotAnIcon(*icon); !why.empty()) {
      report.Error(args.Get("icon") + ": " + why);
    } else {
      branding.icon = *icon;
    }
  }
  return branding;
}

int Build(const ParsedArgs& args, Console& console) {
  constexpr std::string_view kCommand = "build";
  if (args.help) {
    console.out << kBuildHelp;
    return kExitOk;
  }
  BuildInputs in;
  const auto output = PathArgument(args.Get("output"));
  if (!output) return Usage(console, kCommand, "-o INSTALLER is required");
  in.output = *output;
  if (args.positionals.empty()) return Usage(console, kCommand, "no INPUT: name a folder or files to pack");
  for (const std::string& p : args.positionals) {
    const auto path = PathArgument(p);
    if (!path) return Usage(console, kCommand, "not a usable path: " + p);
    in.inputs.push_back(*path);
  }

  if (args.Has("stub")) {
    const auto stub = PathArgument(args.Get("stub"));
    if (!stub) return Usage(console, kCommand, "not a usable path: " + args.Get("stub"));
    in.stub = *stub;
  } else if (!console.toolDirectory.empty() && Exists(console.toolDirectory + std::u16string(kStubName))) {
    in.stub = console.toolDirectory + std::u16string(kStubName);
  } else {
    return Usage(console, kCommand, "no stub: give --stub FILE");
  }

  if (args.Has("settings")) {
    const auto settings = PathArgument(args.Get("settings"));
    if (!settings) return Usage(console, kCommand, "not a usable path: " + args.Get("settings"));
    in.settings = *settings;
  } else {
    std::error_code ec;
    const std::u16string candidate =
        in.inputs.size() == 1 ? CorePath(FsPath(in.inputs[0]) / FsPath(package::kSettingsName)) : u"";
    if (candidate.empty() || !fs::is_directory(FsPath(in.inputs[0]), ec) || !Exists(candidate)) {
      return Usage(console, kCommand, "no settings file: give --settings FILE");
    }
    in.settings = candidate;
  }

  Report report(console);
  for (const std::u16string* input : {&in.stub, &in.settings}) {
    if (std::string why = WhyNotReadable(*input); !why.empty()) report.Error(Utf8(*input) + ": " + why);
  }
  if (report.Failed()) {
    console.err << kTool << ": nothing written\n";
    return kExitProblems;
  }
  uint64_t stubSize = 0;
  {
    sys::File stub = sys::File::OpenRead(in.stub);
    unsigned char magic[2] = {};
    const auto size = stub ? stub.Size() : std::nullopt;
    if (!size) {
      report.Error(Utf8(in.stub) + ": cannot be read as a stub");
    } else if (stub.Read(magic, sizeof magic) != sizeof magic || magic[0] != 'M' || magic[1] != 'Z') {
      report.Error(Utf8(in.stub) + ": not a Windows program (it does not start with MZ)");
    } else if (package::PositionedBytes image(stub); const auto record = package::FindStubRecord(image)) {
      in.stubRecordAt = record->at;
      in.checksumAt = package::ReadPeHeaders(image)->checksumAt;
      if (PackageReader probe(in.stub); probe.LoadTable(in.stub) == ResultCode::Success)
        report.Error(Utf8(in.stub) + ": already carries a package (an installer?); give quillfen-stub.exe");
    } else {
      // Any other program would make an installer that checks no machine at all.
      const auto pe = package::ReadPeHeaders(image);
      report.Error(Utf8(in.stub) + ": not a Quillfen stub (" +
                   (pe ? "a Windows program for " + package::MachineName(pe->machine) : std::string("a file with MZ")) +
                   " without the stub's record); give quillfen-stub.exe");
    }
    stubSize = size.value_or(0);
  }
  if (const Branding branding = ReadBrandingOptions(args, report); branding.Any() && in.stubRecordAt) {
    const auto image = ReadWholeFile(in.stub, kMaxStubBytes);
    Branded branded = image ? Brand(*image, branding) : Branded{{}, "it cannot be read whole"};
    if (!branded.error.empty()) {
      report.Error(Utf8(in.stub) + ": cannot be branded: " + branded.error);
    } else {
      stubSize = branded.image.size();
      in.brandedStub = std::move(branded.image);
    }
  }

  Bytes settings;
  std::u16string settingsText;
  if (const auto source = ReadWholeFile(in.settings, kMaxSettingsSourceBytes); !source) {
    report.Error(Utf8(in.settings) + ": cannot be read as a settings file (" + LastSystemError() + "; " +
                 SettingsLimit() + ")");
  } else if (DecodedSettings decoded = DecodeSettingsSource(*source); !decoded.error.empty()) {
    report.Error(Utf8(in.settings) + ": " + decoded.error);
  } else if (Bytes packed = EncodeSettings(decoded.text); packed.size() > package::kMaxSettingsBytes) {
    report.Error(Utf8(in.settings) + ": " + std::to_string(packed.size()) + " bytes as the stub reads it; " +
                 SettingsLimit());
  } else {
    settingsText = std::move(decoded.text);
    settings = std::move(packed);
  }

  Collected collected = CollectInputs(in.inputs, in.settings);
  for (const std::string& e : collected.errors) report.Error(e);
  for (const std::string& w : collected.warnings) report.Warning(w);
  std::vector<std::u16string> read = {in.stub, in.settings};
  for (const PlannedFile& f : collected.files) {
    std::error_code ec;
    if (fs::equivalent(FsPath(f.source), FsPath(in.output), ec)) {
      report.Error(Utf8(f.source) + ": is the installer being written");
    }
    read.push_back(f.source);
  }
  if (std::string why = WhyNotAnOutput(in.output, std::span(read).first(2)); !why.empty()) {
    report.Error(Utf8(in.output) + ": " + why);
  }
  for (const std::string& e : CheckPlan(collected.files, stubSize, settings.size())) {
    report.Error(e.starts_with("the installer") ? Utf8(in.output) + ": " + e : e);
  }

  std::vector<std::u16string> packaged;
  uint64_t payload = 0;
  for (const PlannedFile& f : collected.files) {
    packaged.push_back(f.PackagedPath());
    payload += f.size;
  }
  packaged.push_back(std::u16string(package::kSettingsName));
  if (!settings.empty()) report.Settings(Utf8(in.settings), LintSettings(settingsText, packaged), args);

  if (report.Exit(args.Has("strict")) != kExitOk) {
    console.err << kTool << ": nothing written" << (report.Failed() ? "" : " (--strict: warnings refuse)") << "\n";
    return report.Exit(args.Has("strict"));
  }

  const bool showProgress = console.errIsTerminal && !args.Has("quiet") && payload >= kProgressThresholdBytes;
  ProgressMeter meter(showProgress ? &console.err : nullptr, payload);
  {
    TemporaryOutput out(in.output, read);
    if (!out.IsOpen()) {
      report.Error(Utf8(in.output) + ": cannot be written (" + LastSystemError() + ")");
    } else if (WriteInstaller(in, out.File(), collected.files, settings, meter, report)) {
      std::string why = StampChecksum(out.Path(), out.File(), in.checksumAt);
      if (why.empty()) why = out.Commit();
      if (!why.empty()) report.Error(Utf8(in.output) + ": cannot be written (" + why + ")");
    }
    meter.Finish();
  }
  if (report.Failed()) {
    console.err << kTool << ": nothing written\n";
    return kExitProblems;
  }
  std::error_code ec;
  if (!args.Has("quiet")) {
    const uint64_t size = fs::file_size(FsPath(in.output), ec);
    console.out << "wrote " << Utf8(in.output) << ": " << Plural(collected.files.size(), "file", "files")
                << " and the settings, " << size << " bytes\n";
  }
  return kExitOk;
}

// ---- list, verify, extract, settings ----

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
  std::array<unsigned char, package::kCopyChunkBytes> chunk;
  for (uint32_t remaining = e.size; remaining > 0;) {
    const uint32_t want = std::min<uint32_t>(remaining, package::kCopyRequestBytes);
    const int64_t got = out.File().CopyFrom(package, want, chunk.data(), static_cast<uint32_t>(chunk.size()));
    if (got == 0) return Utf8(shown) + ": cannot be read from the installer";
    if (got < 0) return Utf8(shown) + ": cannot be written below " + Utf8(folder) + " (" + LastSystemError() + ")";
    remaining -= static_cast<uint32_t>(got);
  }
  if (std::string why = out.Commit(); !why.empty()) {
    return Utf8(shown) + ": cannot be written below " + Utf8(folder) + " (" + why + ")";
  }
  return {};
}

// The one INSTALLER argument, inspected; reports and gives no value when it
// cannot be read as an installer.
std::optional<std::pair<std::u16string, Inspection>> LoadInstaller(const ParsedArgs& args, Console& console,
                                                                   std::string_view command, Report& report,
                                                                   std::size_t maxPositionals, int& exit) {
  if (args.positionals.empty() || args.positionals.size() > maxPositionals) {
    exit = Usage(console, command, args.positionals.empty() ? "no INSTALLER" : "too many arguments");
    return std::nullopt;
  }
  const auto path = PathArgument(args.positionals[0]);
  if (!path) {
    exit = Usage(console, command, "not a usable path: " + args.positionals[0]);
    return std::nullopt;
  }
  if (std::string why = WhyNotReadable(*path); why == "not a regular file") {
    report.Error(args.positionals[0] + ": " + why);
    exit = kExitProblems;
    return std::nullopt;
  }
  Inspection ins = Inspect(*path);
  if (!ins.Loaded()) {
    report.Error(args.positionals[0] + ": " + ins.reason);
    exit = kExitProblems;
    return std::nullopt;
  }
  return std::make_pair(*path, std::move(ins));
}

int List(const ParsedArgs& args, Console& console) {
  if (args.help) {
    console.out << kListHelp;
    return kExitOk;
  }
  Report report(console);
  int exit = kExitOk;
  const auto loaded = LoadInstaller(args, console, "list", report, 1, exit);
  if (!loaded) return exit;
  const std::string& name = args.positionals[0];
  return Emit(console, args, loaded->first,
              args.Has("json") ? ListJson(loaded->second, name) : ListText(loaded->second, name), report);
}

int VerifyCommand(const ParsedArgs& args, Console& console) {
  if (args.help) {
    console.out << kVerifyHelp;
    return kExitOk;
  }
  Report report(console);
  int exit = kExitOk;
  const auto loaded = LoadInstaller(args, console, "verify", report, 1, exit);
  const std::string& name = args.positionals.empty() ? std::string() : args.positionals[0];
  if (!loaded) {
    if (exit == kExitProblems) console.out << name << ": broken\n";
    return exit;
  }
  const Inspection& ins = loaded->second;
  if (!args.Has("quiet")) {
    console.out << name << ": stub: " << StubIdentity(ins) << "\n"
                << name << ": version: " << VersionText(ins) << "\n"
                << name << ": icon: " << IconText(ins) << "\n";
  }
  Verification v = Verify(loaded->first, ins);
  std::string signature;
  const auto roots = args.Has("ca") ? PathArgument(args.Get("ca")) : std::nullopt;
  if (args.Has("ca") && !roots) return Usage(console, "verify", "not a usable path: " + args.Get("ca"));
  if (ins.Signed()) {
    const SignatureReport checked = CheckSignature(loaded->first, roots);
    for (const SignatureCheck& c : checked.checks) {
      if (c.outcome == SignatureCheck::Outcome::Failed) v.errors.push_back("signature: " + c.text);
      if (c.outcome != SignatureCheck::Outcome::Failed && !args.Has("quiet")) {
        console.out << name << ": signature: " << c.text << "\n";
      }
    }
    signature = checked.unavailable.empty() ? ", signed, signature matches" : ", signed (" + checked.unavailable + ")";
    if (roots && !checked.unavailable.empty()) v.errors.push_back("--ca: " + checked.unavailable);
  } else if (roots) {
    v.errors.push_back("--ca: the installer is not signed");
  }
  for (const std::string& e : v.errors) report.Error(name + ": " + e);
  for (const std::string& w : v.warnings) report.Warning(name + ": " + w);
  report.Settings(name + ": " + Utf8(package::kSettingsName), v.settings, args);
  if (report.Failed()) {
    console.out << name << ": broken (" << Plural(report.Errors(), "problem", "problems") << ")\n";
  } else if (args.Has("strict") && report.Warnings() > 0) {
    console.out << name << ": refused (--strict: " << Plural(report.Warnings(), "warning", "warnings") << ")\n";
  } else if (!args.Has("quiet")) {
    console.out << name << ": ok, " << Plural(ins.entries.size(), "entry", "entries") << signature << ", "
                << Plural(report.Warnings(), "warning", "warnings") << "\n";
  }
  return report.Exit(args.Has("strict"));
}

int Extract(const ParsedArgs& args, Console& console) {
  if (args.help) {
    console.out << kExtractHelp;
    return kExitOk;
  }
  constexpr std::string_view kCommand = "extract";
  Report report(console);
  int exit = kExitOk;
  const auto loaded = LoadInstaller(args, console, kCommand, report, 2, exit);
  if (!loaded) return exit;
  const auto& [path, ins] = *loaded;

  std::vector<std::size_t> selected;
  if (args.Has("index")) {
    const std::string text = args.Get("index");
    const bool number =
        !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const std::size_t index = number && text.size() < 6 ? std::stoul(text) : ins.entries.size();
    if (index >= ins.entries.size()) {
      return Usage(console, kCommand, "--index must be below the entry count " + std::to_string(ins.entries.size()));
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
  if (!folder) return Usage(console, kCommand, "not a usable folder: " + args.Get("output"));
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
      why = "refused, it would not be a plain file below " + Utf8(*folder);
    } else if (std::string damage = DataDamage(ins, index); !damage.empty()) {
      why = "refused, " + damage;
    } else {
      why = ExtractEntry(package, path, e, *folder);
    }
    if (!why.empty()) {
      report.Error(why.starts_with("refused") ? shown + ": " + why : why);
      continue;
    }
    console.out << shown << " (" << e.size << " bytes)\n";
  }
  return report.Exit();
}

int SettingsCommand(const ParsedArgs& args, Console& console) {
  if (args.help) {
    console.out << kSettingsHelp;
    return kExitOk;
  }
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

  struct Command {
    std::string_view name;
    std::vector<OptionDef> options;
    int (*run)(const ParsedArgs&, Console&);
  };
  const std::array<Command, 6> commands = {{
      {"build",
       {{"output", 'o', true},
        {"stub", 's', true},
        {"settings", 0, true},
        {"quiet", 'q', false},
        {"strict", 0, false},
        {kAllowAny, 0, false},
        {kAllowNone, 0, false},
        {kAllowOdd, 0, false},
        {"product", 0, true},
        {"company", 0, true},
        {"description", 0, true},
        {"version", 0, true},
        {"copyright", 0, true},
        {"original-name", 0, true},
        {"icon", 0, true}},
       Build},
      {"list", {{"output", 'o', true}, {"json", 0, false}}, List},
      {"verify",
       {{"quiet", 'q', false},
        {"strict", 0, false},
        {kAllowAny, 0, false},
        {kAllowNone, 0, false},
        {kAllowOdd, 0, false},
        {"ca", 0, true}},
       VerifyCommand},
      {"extract", {{"output", 'o', true}, {"index", 0, true}}, Extract},
      {"settings", {{"output", 'o', true}}, SettingsCommand},
      {"check", CheckOptions(),
       [](const ParsedArgs& a, Console& c) {
         return CheckCommand(a, c, [&](int& exit) {
           Report report(c);
           return LoadInstaller(a, c, "check", report, 1, exit);
         });
       }},
  }};
  for (const Command& c : commands) {
    if (c.name != command) continue;
    const ParsedArgs parsed = ParseArgs(args.subspan(1), c.options);
    if (!parsed.error.empty()) return Usage(console, c.name, parsed.error);
    return c.run(parsed, console);
  }
  return Usage(console, "", "unknown command " + Quoted(sys::Utf8ToUtf16(command).value_or(u"?")));
}

}  // namespace qf::pack
