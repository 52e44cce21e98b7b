// quillfen-pack build: the stub, the files and the settings into one installer.
#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "pack/lib/Branding.h"
#include "pack/lib/CommandSupport.h"
#include "pack/lib/PackPlan.h"
#include "pack/lib/PeChecksum.h"
#include "pack/lib/Progress.h"
#include "pack/lib/SafeOutput.h"
#include "pack/lib/SettingsLint.h"
#include "pack/lib/SettingsText.h"
#include "pack/lib/Strings.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "package/PackageWriter.h"
#include "package/StubRecord.h"
#include "sys/File.h"
#include "sys/Text.h"

namespace qf::pack {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kBuildName = "build";
constexpr std::u16string_view kStubName = u"quillfen-stub.exe";
// The options that write the package author's version information, and the key each fills.
constexpr std::pair<std::string_view, std::u16string_view> kVersionFields[] = {
    {"company", u"CompanyName"},      {"description", u"FileDescription"},    {"version", u"FileVersion"},
    {"copyright", u"LegalCopyright"}, {"original-name", u"OriginalFilename"}, {"product", u"ProductName"},
    {"version", u"ProductVersion"}};
constexpr uint64_t kMaxIconBytes = 4u << 20;
constexpr uint64_t kMaxStubBytes = 64u << 20;

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

struct BuildInputs {
  std::u16string output;
  std::u16string stub;
  std::optional<uint64_t> stubRecordAt;  // where the stub keeps its record, which gets the package's digests
  uint32_t digestAlgorithm = 0;          // the best one that stub checks
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
      const bool full = NoSpaceLeft();
      const std::string why = LastSystemError();
      report.Error(full ? why + " writing " + Utf8(in.output) : Utf8(in.output) + ": cannot be written (" + why + ")");
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
    if (auto e = writer.ReserveDigests(*in.stubRecordAt, entries, in.digestAlgorithm); e != package::WriteError::None) {
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
  BuildInputs in;
  const auto output = PathArgument(args.Get("output"));
  if (!output) return Usage(console, kBuildName, "-o INSTALLER is required");
  in.output = *output;
  if (args.positionals.empty()) return Usage(console, kBuildName, "no INPUT: name a folder or files to pack");
  for (const std::string& p : args.positionals) {
    const auto path = PathArgument(p);
    if (!path) return Usage(console, kBuildName, "not a usable path: " + p);
    in.inputs.push_back(*path);
  }

  if (args.Has("stub")) {
    const auto stub = PathArgument(args.Get("stub"));
    if (!stub) return Usage(console, kBuildName, "not a usable path: " + args.Get("stub"));
    in.stub = *stub;
  } else if (!console.toolDirectory.empty() && Exists(console.toolDirectory + std::u16string(kStubName))) {
    in.stub = console.toolDirectory + std::u16string(kStubName);
  } else {
    return Usage(console, kBuildName, "no stub: give --stub FILE");
  }

  if (args.Has("settings")) {
    const auto settings = PathArgument(args.Get("settings"));
    if (!settings) return Usage(console, kBuildName, "not a usable path: " + args.Get("settings"));
    in.settings = *settings;
  } else {
    std::error_code ec;
    const std::u16string candidate =
        in.inputs.size() == 1 ? CorePath(FsPath(in.inputs[0]) / FsPath(package::kSettingsName)) : u"";
    if (candidate.empty() || !fs::is_directory(FsPath(in.inputs[0]), ec) || !Exists(candidate)) {
      return Usage(console, kBuildName, "no settings file: give --settings FILE");
    }
    in.settings = candidate;
  }

  Report report(console);
  for (const std::u16string* input : {&in.stub, &in.settings}) {
    if (const Readability r = ReadabilityOf(*input); r != Readability::Readable) {
      report.Error(Utf8(*input) + ": " + Describe(r));
    }
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
      in.digestAlgorithm = record->record.AlgorithmToRecord();
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
  for (const std::string& e : CheckPlan(collected.files, stubSize, settings.size(), Utf8(in.output))) report.Error(e);

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

}  // namespace

CommandDef BuildCommand() {
  return {kBuildName,
          kBuildHelp,
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
          Build};
}

}  // namespace qf::pack
