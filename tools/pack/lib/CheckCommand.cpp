#include <charconv>
#include <cstdio>
#include <fstream>

#include "pack/lib/CommandSupport.h"
#include "pack/lib/PackPlan.h"
#include "pack/lib/Strings.h"
#include "platform/GivenMachine.h"
#include "platform/PlatformValidator.h"
#include "run/RunLog.h"
#include "settings/IniDocument.h"
#include "sys/Text.h"

namespace qf::pack {
namespace {

constexpr std::string_view kCheckName = "check";
constexpr std::string_view kLinuxMark = "linux:";
constexpr std::string_view kNone = "-";

constexpr std::string_view kCheckHelp =
    "usage: quillfen-pack check INSTALLER --vendor TEXT --family N --model N [--linux]\n"
    "                           [--bios TEXT] [--baseboard TEXT]\n"
    "       quillfen-pack check INSTALLER --machines FILE\n"
    "       quillfen-pack check INSTALLER --this-machine [--bios TEXT] [--baseboard TEXT]\n"
    "\n"
    "Decides, with the stub's own platform check and the installer's own settings,\n"
    "whether the stub accepts a machine. Prints the machine as the stub reads it,\n"
    "one line per comparison as the stub's log writes it, and the verdict.\n"
    "\n"
    "options:\n"
    "      --vendor TEXT     the processor's vendor string (1 to 12 characters)\n"
    "      --family N        the family number, --model N the model number, as the\n"
    "      --model N         stub reads them (quillfen-probe shows them)\n"
    "      --linux           --family and --model are as /proc/cpuinfo shows them\n"
    "                        (\"cpu family\", \"model\"): family 25 reads as 175,\n"
    "                        model 33 as 1 (the stub reads models 0 to 15 only)\n"
    "      --bios TEXT       the BIOS maker (default: none, no instance)\n"
    "      --baseboard TEXT  the baseboard maker (default: none, no instance)\n"
    "      --machines FILE   many machines, one a line, each with the verdict it\n"
    "                        expects:  accept|refuse | VENDOR | FAMILY | MODEL | BIOS | BASEBOARD\n"
    "                        Blanks around a column are dropped, '-' is no maker,\n"
    "                        linux:N marks Linux's numbers; '#' starts a comment\n"
    "      --this-machine    this Linux machine: /proc/cpuinfo and\n"
    "                        /sys/class/dmi/id/bios_vendor and board_vendor\n"
    "  -h, --help            show this help\n"
    "\n"
    "Exit status: 0 accepted, 1 refused (or the installer cannot be read); with\n"
    "--machines 0 when every verdict is the one expected, else 1; 2 wrong usage.\n";

// A machine as the stub reads it.
struct Machine {
  std::u16string vendor;
  uint32_t signature = 0;
  std::optional<std::u16string> bios;  // none: the class has no instance
  std::optional<std::u16string> baseboard;
};

struct Row {
  std::size_t line = 0;
  bool expected = true;
  Machine machine;
};

// Each comparison as the stub's log writes it.
class CheckLines final : public platform::ValidationObserver {
 public:
  void OnSwitches(std::u16string_view, std::u16string_view, std::u16string_view) override {}
  void OnStep(const platform::CheckStep& s) override {
    text +=
        Utf8(run::CheckLine(s.section, s.key, s.accepted, s.source, s.found, s.queryResult, s.passed, s.error)) + "\n";
  }
  std::string text;
};

bool Accepted(const settings::IniDocument& settings, const Machine& m, std::string& lines) {
  platform::GivenCpuid cpuid(m.vendor, m.signature);
  platform::GivenProperties wmi;
  wmi.answers.emplace(platform::kClassBios, platform::GivenAnswer{platform::kWmiSuccess, m.bios});
  wmi.answers.emplace(platform::kClassBaseBoard, platform::GivenAnswer{platform::kWmiSuccess, m.baseboard});
  CheckLines observer;
  platform::PlatformValidator validator(settings, wmi, cpuid);
  validator.SetObserver(&observer);
  const bool accepted = validator.Validate() == platform::kCheckPassed;
  lines = observer.text;
  return accepted;
}

std::string Describe(const Machine& m) {
  auto maker = [](const std::optional<std::u16string>& v) { return v ? Quoted(*v) : std::string("none"); };
  return "vendor " + Quoted(m.vendor) + ", family " + std::to_string(platform::FamilyFromSignature(m.signature)) +
         ", model " + std::to_string(platform::ModelFromSignature(m.signature)) + ", BIOS " + maker(m.bios) +
         ", baseboard " + maker(m.baseboard);
}

std::string_view Trim(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

std::optional<int32_t> Number(std::string_view text) {
  int32_t n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return n;
}

// The machine of a vendor, a family and a model; empty, or why they describe none.
std::string MakeMachine(std::string_view vendor, std::string_view family, std::string_view model, bool fromLinux,
                        Machine& m) {
  m.vendor = sys::Utf8ToUtf16(vendor).value_or(u"");
  if (!platform::IsReportableVendor(m.vendor)) {
    return "vendor \"" + std::string(vendor) + "\": a processor reports 1 to 12 characters, none above U+00FF";
  }
  const auto f = Number(family), n = Number(model);
  const auto signature = !f || !n    ? std::nullopt
                         : fromLinux ? platform::SignatureFromLinux(*f, *n)
                                     : platform::SignatureOf(*f, *n);
  if (!signature) {
    return "family " + std::string(family) + ", model " + std::string(model) + ": no processor shows these" +
           (fromLinux ? " to Linux" : " to the stub (models are 0 to 15; above 15 a family is 15 + 16 x N)");
  }
  m.signature = *signature;
  return {};
}

std::optional<std::u16string> Maker(std::string_view text) {
  if (text == kNone) return std::nullopt;
  return sys::Utf8ToUtf16(text).value_or(u"");
}

// Rows of a machines file; empty, or the first line that is none.
std::string ParseMachines(std::istream& in, std::vector<Row>& rows) {
  std::string text;
  for (std::size_t number = 1; std::getline(in, text); ++number) {
    std::string_view line = Trim(std::string_view(text).substr(0, text.find('#')));
    if (!line.empty() && line.back() == '\r') line = Trim(line.substr(0, line.size() - 1));
    if (line.empty()) continue;
    std::vector<std::string_view> c;
    for (std::size_t at = 0; at <= line.size();) {
      const std::size_t end = std::min(line.find('|', at), line.size());
      c.push_back(Trim(line.substr(at, end - at)));
      at = end + 1;
    }
    const std::string where = std::to_string(number) + ": ";
    if (c.size() != 6) return where + "not 6 columns: accept|refuse | VENDOR | FAMILY | MODEL | BIOS | BASEBOARD";
    if (c[0] != "accept" && c[0] != "refuse") return where + "the verdict is neither accept nor refuse";
    const bool fromLinux = c[2].starts_with(kLinuxMark);
    if (fromLinux != c[3].starts_with(kLinuxMark))
      return where + "family and model are both Linux's or both the stub's";
    if (fromLinux) c[2].remove_prefix(kLinuxMark.size()), c[3].remove_prefix(kLinuxMark.size());
    Row row{number, c[0] == "accept", {}};
    if (std::string why = MakeMachine(c[1], c[2], c[3], fromLinux, row.machine); !why.empty()) return where + why;
    row.machine.bios = Maker(c[4]);
    row.machine.baseboard = Maker(c[5]);
    rows.push_back(std::move(row));
  }
  return {};
}

#ifndef _WIN32
// This Linux machine: the processor as /proc/cpuinfo shows it, the makers as
// the firmware's tables give them to Linux; a maker that cannot be read is none.
std::string ThisMachine(Machine& m, std::ostream& notes) {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string vendor, family, model;
  for (std::string line; std::getline(cpuinfo, line) && (vendor.empty() || family.empty() || model.empty());) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string_view key = Trim(std::string_view(line).substr(0, colon));
    const std::string value(Trim(std::string_view(line).substr(colon + 1)));
    if (key == "vendor_id" && vendor.empty()) vendor = value;
    if (key == "cpu family" && family.empty()) family = value;
    if (key == "model" && model.empty()) model = value;
  }
  if (vendor.empty() || family.empty() || model.empty()) return "/proc/cpuinfo: no vendor_id, cpu family and model";
  if (std::string why = MakeMachine(vendor, family, model, true, m); !why.empty()) return "/proc/cpuinfo: " + why;
  for (const auto& [file, maker] : {std::pair{"/sys/class/dmi/id/bios_vendor", &m.bios},
                                    std::pair{"/sys/class/dmi/id/board_vendor", &m.baseboard}}) {
    std::ifstream in(file);
    std::string value;
    if (in && std::getline(in, value)) {
      *maker = sys::Utf8ToUtf16(value).value_or(u"");
    } else {
      notes << "note: " << file << " cannot be read: taken as no maker\n";
    }
  }
  return {};
}
#endif

int Check(const ParsedArgs& args, Console& console) {
  const bool described = args.Has("vendor") || args.Has("family") || args.Has("model");
  const bool listed = args.Has("machines"), here = args.Has("this-machine");
  if (described + listed + here != 1) {
    return Usage(console, kCheckName,
                 "describe one machine (--vendor, --family, --model), or give --machines or --this-machine");
  }
  if (args.Has("linux") && !described) return Usage(console, kCheckName, "--linux is for --family and --model");
  if (listed && (args.Has("bios") || args.Has("baseboard"))) {
    return Usage(console, kCheckName, "--machines names the makers in its own columns");
  }
  std::vector<Row> rows(1);
  Machine& one = rows[0].machine;
  std::string why;
  if (described) {
    if (!args.Has("vendor") || !args.Has("family") || !args.Has("model")) {
      return Usage(console, kCheckName, "--vendor, --family and --model describe a machine together");
    }
    why = MakeMachine(args.Get("vendor"), args.Get("family"), args.Get("model"), args.Has("linux"), one);
  } else if (here) {
#ifdef _WIN32
    why =
        "--this-machine reads Linux's /proc/cpuinfo and /sys/class/dmi/id, on Linux only; on Windows run "
        "quillfen-probe.exe INSTALLER";
#else
    why = ThisMachine(one, console.err);
#endif
  } else {
    rows.clear();
    std::ifstream in(FsPath(sys::Utf8ToUtf16(args.Get("machines")).value_or(u"")));
    why = !in ? "cannot be read" : ParseMachines(in, rows);
    if (why.empty() && rows.empty()) why = "names no machine";
    if (!why.empty()) why = args.Get("machines") + ":" + why;
  }
  if (!why.empty()) return Usage(console, kCheckName, why);
  if (args.Has("bios")) one.bios = sys::Utf8ToUtf16(args.Get("bios")).value_or(u"");
  if (args.Has("baseboard")) one.baseboard = sys::Utf8ToUtf16(args.Get("baseboard")).value_or(u"");

  int exit = kExitOk;
  Report report(console);
  const auto loaded = LoadInstaller(args, console, kCheckName, report, 1, exit);
  if (!loaded) return exit;
  const PackedSettings packed = ReadSettingsAsPacked(loaded->first);
  if (!packed.error.empty()) {
    console.err << "error: " << args.positionals[0] << ": " << packed.error << "\n";
    return kExitProblems;
  }
  const settings::IniDocument settings = settings::IniDocument::FromBytes(packed.bytes);
  std::string lines;
  if (!listed) {
    const bool accepted = Accepted(settings, one, lines);
    console.out << "machine: " << Describe(one) << "\n"
                << lines << "verdict: " << (accepted ? "accepted" : "refused") << "\n";
    return accepted ? kExitOk : kExitProblems;
  }
  std::size_t differing = 0;
  console.out << "line  expected  verdict   machine\n";
  for (const Row& row : rows) {
    const bool accepted = Accepted(settings, row.machine, lines);
    char head[48];
    std::snprintf(head, sizeof head, "%4zu  %-8s  %-8s  ", row.line, row.expected ? "accept" : "refuse",
                  accepted ? "accept" : "refuse");
    console.out << head << Describe(row.machine) << (accepted == row.expected ? "\n" : "  <- differs\n");
    if (accepted != row.expected) console.out << lines;
    differing += accepted != row.expected;
  }
  console.out << rows.size() << " machines, " << differing << " with another verdict than expected\n";
  return differing == 0 ? kExitOk : kExitProblems;
}

}  // namespace

CommandDef CheckCommand() {
  return {kCheckName,
          kCheckHelp,
          {{"vendor", 0, true},
           {"family", 0, true},
           {"model", 0, true},
           {"linux", 0, false},
           {"bios", 0, true},
           {"baseboard", 0, true},
           {"machines", 0, true},
           {"this-machine", 0, false}},
          Check};
}

}  // namespace qf::pack
