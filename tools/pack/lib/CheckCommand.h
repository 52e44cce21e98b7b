#pragma once

// quillfen-pack check: whether the stub's platform check accepts a machine,
// decided by the stub's own validator on the installer's own settings.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pack/lib/Args.h"
#include "pack/lib/Commands.h"
#include "pack/lib/PackageReport.h"

namespace qf::pack {

std::vector<OptionDef> CheckOptions();

// The one INSTALLER argument, loaded as the other commands load it; no value
// once the loader has reported why, with the exit status in `exit`.
using InstallerLoader = std::function<std::optional<std::pair<std::u16string, Inspection>>(int& exit)>;

int CheckCommand(const ParsedArgs& args, Console& console, const InstallerLoader& load);

}  // namespace qf::pack
