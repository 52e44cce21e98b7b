#include "pack/lib/LockSearch.h"

#include <set>
#include <string>
#include <utility>

#include "platform/GivenMachine.h"
#include "platform/PlatformValidator.h"
#include "settings/SettingsFile.h"
#include "settings/ValueList.h"

namespace qf::pack {
namespace {

namespace key = settings::key;
using platform::kCheckPassed;

// The fields of the leaf 1 signature the identity reads: the model, the base
// family and the extended family.
constexpr uint32_t kModels = platform::kMaxModel + 1;
constexpr uint32_t kBaseFamilies = 16;
constexpr uint32_t kExtendedFamilies = 256;

// Windows runs only on processors with CPUID, whose vendor text is never
// empty: one CPUID cannot report is never the machine's.
std::u16string_view Reportable(std::u16string_view vendor) {
  return platform::IsReportableVendor(vendor) ? vendor : u"?";
}

// WMI reporting one maker for every class.
platform::GivenProperties ChosenMaker(std::u16string_view maker) {
  platform::GivenProperties wmi;
  for (std::u16string_view c : {platform::kClassBios, platform::kClassBaseBoard}) {
    wmi.answers.emplace(c, platform::GivenAnswer{platform::kWmiSuccess, std::u16string(maker)});
  }
  return wmi;
}

std::u16string Read(const settings::IniDocument& settings, std::u16string_view section, std::u16string_view name) {
  std::u16string value;
  settings.GetValue(section, name, value);
  return value;
}

// Every family and model a processor can report, with the vendor text asked for.
bool SomeProcessorPasses(const settings::IniDocument& settings) {
  const std::u16string vendor = Read(settings, key::kCpu, key::kProcessor);
  platform::GivenCpuid cpuid(Reportable(vendor), 0);
  platform::GivenProperties wmi = ChosenMaker(u"");
  platform::PlatformValidator validator(settings, wmi, cpuid);
  std::set<std::pair<int32_t, int32_t>> tried;
  for (uint32_t extended = 0; extended < kExtendedFamilies; ++extended) {
    for (uint32_t family = 0; family < kBaseFamilies; ++family) {
      for (uint32_t model = 0; model < kModels; ++model) {
        const uint32_t signature = platform::Signature(family, model, extended);
        const auto seen =
            std::make_pair(platform::FamilyFromSignature(signature), platform::ModelFromSignature(signature));
        if (!tried.insert(seen).second) continue;
        cpuid.signature = signature;
        if (validator.CheckCpu() == kCheckPassed) return true;
      }
    }
  }
  return false;
}

// Windows reports a maker for the BIOS and the baseboard: the makers most
// likely to pass are the accepted ones themselves, or any at all when none is.
bool SomeMakerPasses(const settings::IniDocument& settings, std::u16string_view section,
                     std::u16string_view className) {
  const std::u16string accepted = Read(settings, section, key::kManufacturer);
  std::vector<std::u16string_view> makers = settings::ListItems(accepted);
  if (makers.empty()) makers.push_back(u"?");
  for (std::u16string_view maker : makers) {
    platform::GivenProperties wmi = ChosenMaker(maker);
    platform::GivenCpuid cpuid(u"?", 0);
    if (platform::PlatformValidator(settings, wmi, cpuid).CheckManufacturer(section, className) == kCheckPassed) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<std::u16string_view> ChecksNoMachinePasses(const settings::IniDocument& settings) {
  std::vector<std::u16string_view> never;
  auto on = [&](std::u16string_view check) { return settings::IsSwitchedOn(Read(settings, key::kValidate, check)); };
  if (on(key::kCpu) && !SomeProcessorPasses(settings)) never.push_back(key::kCpu);
  if (on(key::kBios) && !SomeMakerPasses(settings, key::kBios, platform::kClassBios)) never.push_back(key::kBios);
  if (on(key::kBaseboard) && !SomeMakerPasses(settings, key::kBaseboard, platform::kClassBaseBoard)) {
    never.push_back(key::kBaseboard);
  }
  return never;
}

}  // namespace qf::pack
