#include "pack/lib/LockSearch.h"

#include <set>
#include <string>
#include <utility>

#include "platform/PlatformValidator.h"
#include "platform/ValueList.h"
#include "settings/SettingsFile.h"

namespace qf::pack {
namespace {

namespace key = settings::key;
using platform::CpuidRegisters;
using platform::kCheckPassed;

// The fields of the leaf 1 signature the identity reads: the model (bits 4-7),
// the base family (bits 8-11) and the extended family (bits 20-27).
constexpr uint32_t kModels = 16;
constexpr uint32_t kBaseFamilies = 16;
constexpr uint32_t kExtendedFamilies = 256;
constexpr int kModelShift = 4;
constexpr int kBaseFamilyShift = 8;
constexpr int kExtendedFamilyShift = 20;

// A processor reporting the vendor text [cpu] Processor asks for, when CPUID
// can report it (1 to 12 bytes other than zero), and any signature. Windows
// runs only on processors with CPUID, whose vendor text is never empty.
class ChosenCpuid final : public platform::CpuidInstruction {
 public:
  explicit ChosenCpuid(std::u16string_view vendor) {
    if (vendor.empty() || vendor.size() > platform::CpuIdentity::kVendorLength) vendor = u"?";
    for (std::size_t i = 0; i < vendor.size(); ++i) {
      const char16_t c = vendor[i];
      m_vendor[i] = c != u'\0' && c <= 0xFF ? static_cast<unsigned char>(c) : '?';
    }
  }
  bool Available() override { return true; }
  CpuidRegisters Execute(uint32_t leaf) override {
    if (leaf != 0) return {signature, 0, 0, 0};
    auto word = [&](int at) {
      uint32_t w = 0;
      for (int i = 0; i < 4; ++i) w |= static_cast<uint32_t>(m_vendor[at + i]) << (8 * i);
      return w;
    };
    return {0, word(0), word(8), word(4)};  // EBX, ECX, EDX: the text is EBX, EDX, ECX
  }
  uint32_t signature = 0;

 private:
  unsigned char m_vendor[platform::CpuIdentity::kVendorLength] = {};
};

// WMI reporting one maker for every class.
class ChosenMaker final : public platform::PropertySource {
 public:
  explicit ChosenMaker(std::u16string_view maker) : m_maker(maker) {}
  void Prepare(std::u16string_view) override {}
  int32_t GetProperty(std::u16string_view, std::u16string_view, std::u16string& out) override {
    out = m_maker;
    return platform::kWmiSuccess;
  }

 private:
  std::u16string m_maker;
};

std::u16string Read(const settings::IniDocument& settings, std::u16string_view section, std::u16string_view name) {
  std::u16string value;
  settings.GetValue(section, name, value);
  return value;
}

// Every family and model a processor can report, with the vendor text asked for.
bool SomeProcessorPasses(const settings::IniDocument& settings) {
  ChosenCpuid cpuid(Read(settings, key::kCpu, key::kProcessor));
  ChosenMaker wmi(u"");
  platform::PlatformValidator validator(settings, wmi, cpuid);
  std::set<std::pair<int32_t, int32_t>> tried;
  for (uint32_t extended = 0; extended < kExtendedFamilies; ++extended) {
    for (uint32_t family = 0; family < kBaseFamilies; ++family) {
      for (uint32_t model = 0; model < kModels; ++model) {
        const uint32_t signature = extended << kExtendedFamilyShift | family << kBaseFamilyShift | model << kModelShift;
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
  std::vector<std::u16string_view> makers = platform::ListItems(accepted);
  if (makers.empty()) makers.push_back(u"?");
  for (std::u16string_view maker : makers) {
    ChosenMaker wmi(maker);
    ChosenCpuid cpuid(u"");
    if (platform::PlatformValidator(settings, wmi, cpuid).CheckManufacturer(section, className) == kCheckPassed) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<std::u16string_view> ChecksNoMachinePasses(const settings::IniDocument& settings) {
  std::vector<std::u16string_view> never;
  auto on = [&](std::u16string_view check) { return platform::IsSwitchedOn(Read(settings, key::kValidate, check)); };
  if (on(key::kCpu) && !SomeProcessorPasses(settings)) never.push_back(key::kCpu);
  if (on(key::kBios) && !SomeMakerPasses(settings, key::kBios, platform::kClassBios)) never.push_back(key::kBios);
  if (on(key::kBaseboard) && !SomeMakerPasses(settings, key::kBaseboard, platform::kClassBaseBoard)) {
    never.push_back(key::kBaseboard);
  }
  return never;
}

}  // namespace qf::pack
