#pragma once

// Whether any machine passes each check the settings switch on, decided by the
// stub's own validator on the machines most likely to pass it.

#include <string_view>
#include <vector>

#include "settings/IniDocument.h"

namespace qf::pack {

// The keys of [validate] ("cpu", "bios", "baseboard") whose check is on and
// passes on no machine, in the order the stub checks them.
std::vector<std::u16string_view> ChecksNoMachinePasses(const settings::IniDocument& settings);

}  // namespace qf::pack
