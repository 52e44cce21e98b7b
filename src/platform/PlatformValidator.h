#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/CpuIdentity.h"
#include "platform/PropertySource.h"
#include "settings/IniDocument.h"

namespace qf::settings {
class SettingsFile;
}

namespace qf::platform {

inline constexpr int32_t kCheckPassed = 1;
inline constexpr int32_t kCheckFailed = 0;

// One comparison the check made: the setting it read, what the machine
// reported, and the verdict; the texts live only during the call. For the
// probe tool; the stub watches nothing.
struct CheckStep {
  std::u16string_view section;   // "cpu", a family number, "bios" or "baseboard"
  std::u16string_view key;       // "Advanced", "Model_Number", "Processor" or "Manufacturer"
  std::u16string_view accepted;  // the setting's text
  std::u16string_view source;    // "family", "model", "vendor", or the WMI class
  std::u16string_view found;     // what the machine reported
  int32_t queryResult;           // the WMI result code; 0 for the processor's values
  bool passed;
  uint32_t error = 0;  // the system's error code of a failed query
};

class ValidationObserver {
 public:
  virtual ~ValidationObserver() = default;
  virtual void OnSwitches(std::u16string_view cpu, std::u16string_view bios, std::u16string_view baseboard) = 0;
  virtual void OnStep(const CheckStep& step) = 0;
};

// Decides whether this machine may run the packaged installer, as the
// settings' [validate] switches demand: the processor, then the BIOS, then the
// baseboard; the first failure ends the validation. Every value is read with
// IniDocument::GetValue into a cleared text, so a missing one reads as empty.
class PlatformValidator {
 public:
  PlatformValidator(const settings::IniDocument& settings, PropertySource& wmi,
                    CpuidInstruction& cpuid = ProcessorCpuid());
  PlatformValidator(const settings::SettingsFile& settings, PropertySource& wmi,
                    CpuidInstruction& cpuid = ProcessorCpuid());

  void SetObserver(ValidationObserver* observer) { m_observer = observer; }

  // 1 when the machine may run the installer, else 0.
  int32_t Validate();
  // Family and model first, then the vendor string against [cpu] Processor.
  int32_t CheckCpu();
  // 1 when [cpu] Advanced is empty; else the model check of the first item
  // equal to the family's decimal text, or 0 when none is.
  int32_t CheckFamily();
  // Whether [section] Model_Number lists the model's decimal text.
  int32_t CheckModel(std::u16string_view section);
  // Whether the class's Manufacturer is in [section] Manufacturer; an empty
  // list passes only when the class has no instance. Any query failure fails.
  int32_t CheckManufacturer(std::u16string_view section, std::u16string_view className);

 private:
  std::u16string Read(std::u16string_view section, std::u16string_view key) const;
  void Report(const CheckStep& step) const;

  std::u16string m_cpuSwitch;
  std::u16string m_biosSwitch;
  std::u16string m_baseboardSwitch;
  std::u16string m_expectedProcessor;
  std::u16string m_acceptedManufacturers;
  const settings::IniDocument& m_settings;
  PropertySource& m_wmi;
  CpuidInstruction& m_cpuid;
  CpuIdentity m_identity;
  ValidationObserver* m_observer = nullptr;
};

}  // namespace qf::platform
