#include "pack/lib/CommandSupport.h"

#include <filesystem>
#include <system_error>

#include "pack/lib/PackPlan.h"
#include "pack/lib/SafeOutput.h"
#include "pack/lib/Strings.h"
#include "sys/File.h"
#include "sys/Text.h"

namespace qf::pack {
namespace fs = std::filesystem;
namespace {

std::string_view AllowOption(LockRisk risk) {
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

}  // namespace

void Report::Settings(const std::string& where, const std::vector<Finding>& findings, const ParsedArgs& args) {
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

Readability ReadabilityOf(const std::u16string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(FsPath(path), ec);
  if (!fs::exists(status)) return Readability::Missing;
  if (!fs::is_regular_file(status)) return Readability::NotRegular;
  return Readability::Readable;
}

std::string Describe(Readability readability) {
  switch (readability) {
    case Readability::Missing:
      return "no such file";
    case Readability::NotRegular:
      return "not a regular file";
    case Readability::Readable:
      break;
  }
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
  if (const Readability readability = ReadabilityOf(*path); readability == Readability::NotRegular) {
    report.Error(args.positionals[0] + ": " + Describe(readability));
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

}  // namespace qf::pack
