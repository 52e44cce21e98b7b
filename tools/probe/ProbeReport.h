#pragma once

#include <string>
#include <string_view>

#include "platform/CpuIdentity.h"
#include "platform/PropertySource.h"
#include "settings/IniDocument.h"

namespace qf::probe {

// Exit codes of quillfen-probe.
inline constexpr int kExitPassed = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUnusable = 2;

struct ProbeResult {
  std::u16string text;  // lines ending in CR LF
  int exitCode;
};

// What this machine reports to the platform check, read through the same
// code the installer uses; with settings, also each check the installer would
// run, the values it compares and the verdict (exit 0 on pass, 1 on fail).
ProbeResult RunProbe(platform::PropertySource& wmi, platform::CpuidInstruction& cpuid,
                     const settings::IniDocument* settings, std::u16string_view settingsPath);

std::u16string_view UsageText();

}  // namespace qf::probe
