#include "ProbeReport.h"

#include "platform/PlatformValidator.h"
#include "settings/SettingsFile.h"
#include "sys/Text.h"

namespace qf::probe {
namespace {

using platform::CheckStep;

constexpr std::u16string_view kLineEnd = u"\r\n";

// Built by appending: g++ 12 at -O3 takes `u"\"" + std::u16string(...)` for
// overlapping copies (a false -Wrestrict).
std::u16string Quoted(std::u16string_view text) {
  std::u16string quoted(1, u'"');
  quoted.append(text).push_back(u'"');
  return quoted;
}

std::u16string_view ResultMeaning(int32_t result, std::u16string_view value) {
  switch (result) {
    case platform::kWmiSuccess:
      return value.empty() ? u"no instance" : u"read";
    case platform::kWmiComFailed:
      return u"COM could not be initialised";
    case platform::kWmiQueryFailed:
      return u"the query failed";
    case platform::kWmiSecurityFailed:
      return u"COM security could not be set";
    case platform::kWmiNoValue:
      return u"no text value";
    default:
      return u"unknown result";
  }
}

std::u16string WmiLine(std::u16string_view name, int32_t result, std::u16string_view value) {
  return std::u16string(name) + u": " + Quoted(value) + u" (result " + sys::DecimalText(result) + u", " +
         std::u16string(ResultMeaning(result, value)) + u")";
}

class Report final : public platform::ValidationObserver {
 public:
  void Line(std::u16string_view line) {
    text.append(line);
    text.append(kLineEnd);
  }

  void OnSwitches(std::u16string_view cpu, std::u16string_view bios, std::u16string_view baseboard) override {
    for (const auto& [name, value] : {std::pair{u"validate.cpu", cpu}, std::pair{u"validate.bios", bios},
                                      std::pair{u"validate.baseboard", baseboard}}) {
      Line(std::u16string(name) + u": " + Quoted(value) + (settings::IsSwitchedOn(value) ? u" (on)" : u" (off)"));
    }
  }

  void OnStep(const CheckStep& step) override {
    std::u16string line =
        u"check [" + std::u16string(step.section) + u"] " + std::u16string(step.key) + u": " + Quoted(step.accepted);
    if (step.key == settings::key::kAdvanced && step.accepted.empty()) {
      line += u" -> no family or model restriction";
    } else {
      line += u" vs " + std::u16string(step.source) + u" " + Quoted(step.found);
      if (step.key == settings::key::kManufacturer) {
        line += u" (result " + sys::DecimalText(step.queryResult);
        if (step.error != 0) sys::AppendHex(line += u", error ", step.error);
        line += u")";
      }
    }
    Line(line + (step.passed ? u": pass" : u": fail"));
  }

  std::u16string text;
};

}  // namespace

ProbeResult RunProbe(platform::PropertySource& wmi, platform::CpuidInstruction& cpuid,
                     const settings::IniDocument* settings, std::u16string_view settingsPath) {
  Report report;
  platform::CpuIdentity identity;
  if (!identity.Identify(cpuid)) report.Line(u"warning: this processor has no CPUID instruction");
  report.Line(u"cpu.vendor: " + Quoted(identity.Vendor()));
  report.Line(u"cpu.family: " + sys::DecimalText(identity.family));
  report.Line(u"cpu.model: " + sys::DecimalText(identity.model));

  wmi.Prepare(platform::kWmiNamespace);
  for (const auto& [name, className] : {std::pair{u"bios.Manufacturer", platform::kClassBios},
                                        std::pair{u"baseboard.Manufacturer", platform::kClassBaseBoard}}) {
    std::u16string value;
    const int32_t result = wmi.GetProperty(className, platform::kPropertyManufacturer, value);
    report.Line(WmiLine(name, result, value));
  }
  if (settings == nullptr) return {report.text, kExitPassed};

  report.Line(u"settings: " + Quoted(settingsPath));
  if (settings->ParseResult() == settings::kIniMissingMark) {
    report.Line(u"warning: no UTF-16LE byte-order mark: the installer reads this file as empty");
  }
  // The program the installer starts, and its parameters in a run with its window and in a silent one.
  for (std::u16string_view key : {settings::key::kFile, settings::key::kParam, settings::key::kSilentParam}) {
    std::u16string value;
    settings->GetValue(settings::key::kExecutable, key, value);
    const bool fallsBack = key == settings::key::kSilentParam && value.empty();
    report.Line(u"executable." + std::u16string(key) + u": " + Quoted(value) +
                (fallsBack ? u" (silent runs use param)" : u""));
  }
  platform::PlatformValidator validator(*settings, wmi, cpuid);
  validator.SetObserver(&report);
  const bool passed = validator.Validate() == platform::kCheckPassed;
  report.Line(passed ? u"verdict: pass" : u"verdict: fail");
  return {report.text, passed ? kExitPassed : kExitFailed};
}

std::u16string_view UsageText() {
  return u"Usage: quillfen-probe [SETTINGS.INI | INSTALLER.EXE]\r\n"
         u"       quillfen-probe --help\r\n"
         u"\r\n"
         u"Prints what this machine reports to the installer's platform check, read\r\n"
         u"by the same code the installer uses, one item per line:\r\n"
         u"  cpu.vendor: \"...\"                the vendor string, for [cpu] Processor\r\n"
         u"  cpu.family: N                    the family, for [cpu] Advanced\r\n"
         u"  cpu.model: N                     the model, for Model_Number in the family's section\r\n"
         u"  bios.Manufacturer: \"...\" (result R, ...)       for [bios] Manufacturer\r\n"
         u"  baseboard.Manufacturer: \"...\" (result R, ...)  for [baseboard] Manufacturer\r\n"
         u"Numbers are the installer's own: for base family 15 the extended family\r\n"
         u"counts sixteenfold (extended family 1 gives 31) and the extended model is\r\n"
         u"never used. Texts stand in double quotes, compared exactly, case and\r\n"
         u"blanks included. R is the WMI query's result: 0 read (an empty text: the\r\n"
         u"class has no instance), 1 COM could not be initialised, 4 the query\r\n"
         u"failed, 6 COM security could not be set, 7 no text value.\r\n"
         u"\r\n"
         u"With a settings file (UTF-8 or UTF-16, read as quillfen-pack build packs\r\n"
         u"it) or a built installer (its packed settings) it then\r\n"
         u"prints the file's path, the program the installer starts and its\r\n"
         u"parameters ([executable] file, param, and silentparam for silent runs:\r\n"
         u"executable.param: \"-s\"), the [validate] switches (validate.cpu: \"1\" (on)),\r\n"
         u"one line per comparison the installer would make, in its order, ending in\r\n"
         u"\": pass\" or \": fail\":\r\n"
         u"  check [SECTION] KEY: \"SETTING\" vs WHAT \"FOUND\"[ (result R)]: pass\r\n"
         u"and last \"verdict: pass\" or \"verdict: fail\".\r\n"
         u"\r\n"
         u"Exit status: 0 when the checks pass (or no settings file was given), 1 when\r\n"
         u"they fail, 2 when the arguments or the settings file cannot be used.\r\n"
         u"Output is UTF-8.\r\n";
}

}  // namespace qf::probe
