#include "platform/PlatformValidator.h"

#include "settings/SettingsFile.h"
#include "settings/ValueList.h"
#include "sys/Text.h"

namespace qf::platform {
namespace {

namespace key = settings::key;
using settings::ListContains;
using settings::ListItems;

int32_t Verdict(bool passed) { return passed ? kCheckPassed : kCheckFailed; }

}  // namespace

PlatformValidator::PlatformValidator(const settings::IniDocument& settings, PropertySource& wmi,
                                     CpuidInstruction& cpuid)
    : m_settings(settings), m_wmi(wmi), m_cpuid(cpuid) {}

PlatformValidator::PlatformValidator(const settings::SettingsFile& settings, PropertySource& wmi,
                                     CpuidInstruction& cpuid)
    : PlatformValidator(settings.Document(), wmi, cpuid) {}

std::u16string PlatformValidator::Read(std::u16string_view section, std::u16string_view key) const {
  std::u16string value;
  m_settings.GetValue(section, key, value);
  return value;
}

void PlatformValidator::Report(const CheckStep& step) const {
  if (m_observer != nullptr) m_observer->OnStep(step);
}

int32_t PlatformValidator::Validate() {
  m_wmi.Prepare(kWmiNamespace);
  m_cpuSwitch = Read(key::kValidate, key::kCpu);
  m_biosSwitch = Read(key::kValidate, key::kBios);
  m_baseboardSwitch = Read(key::kValidate, key::kBaseboard);
  if (m_observer != nullptr) m_observer->OnSwitches(m_cpuSwitch, m_biosSwitch, m_baseboardSwitch);

  if (settings::IsSwitchedOn(m_cpuSwitch) && CheckCpu() == kCheckFailed) return kCheckFailed;
  if (settings::IsSwitchedOn(m_biosSwitch) && CheckManufacturer(key::kBios, kClassBios) == kCheckFailed)
    return kCheckFailed;
  if (settings::IsSwitchedOn(m_baseboardSwitch)) return CheckManufacturer(key::kBaseboard, kClassBaseBoard);
  return kCheckPassed;
}

int32_t PlatformValidator::CheckCpu() {
  if (CheckFamily() == kCheckFailed) return kCheckFailed;
  m_expectedProcessor = Read(key::kCpu, key::kProcessor);
  m_identity.Identify(m_cpuid);
  const std::u16string vendor = m_identity.Vendor();
  const bool passed = m_expectedProcessor == vendor;
  Report({key::kCpu, key::kProcessor, m_expectedProcessor, u"vendor", vendor, kWmiSuccess, passed});
  return Verdict(passed);
}

int32_t PlatformValidator::CheckFamily() {
  const std::u16string advanced = Read(key::kCpu, key::kAdvanced);
  if (advanced.empty()) {
    Report({key::kCpu, key::kAdvanced, advanced, u"family", u"", kWmiSuccess, true});
    return kCheckPassed;
  }
  m_identity.Identify(m_cpuid);
  const std::u16string family = sys::DecimalText(m_identity.family);
  const bool listed = ListContains(advanced, family);
  Report({key::kCpu, key::kAdvanced, advanced, u"family", family, kWmiSuccess, listed});
  // The matching item names the section; it is the family's own text.
  return listed ? CheckModel(family) : kCheckFailed;
}

int32_t PlatformValidator::CheckModel(std::u16string_view section) {
  const std::u16string models = Read(section, key::kModelNumber);
  m_identity.Identify(m_cpuid);
  const std::u16string model = sys::DecimalText(m_identity.model);
  const bool passed = ListContains(models, model);
  Report({section, key::kModelNumber, models, u"model", model, kWmiSuccess, passed});
  return Verdict(passed);
}

int32_t PlatformValidator::CheckManufacturer(std::u16string_view section, std::u16string_view className) {
  m_acceptedManufacturers = Read(section, key::kManufacturer);
  std::u16string found;
  const int32_t result = m_wmi.GetProperty(className, kPropertyManufacturer, found);
  bool passed = false;
  if (result == kWmiSuccess) {
    passed = ListItems(m_acceptedManufacturers).empty() ? found.empty() : ListContains(m_acceptedManufacturers, found);
  }
  Report({section, key::kManufacturer, m_acceptedManufacturers, className, found, result, passed, m_wmi.LastError()});
  return Verdict(passed);
}

}  // namespace qf::platform
