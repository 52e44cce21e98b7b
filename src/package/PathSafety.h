#pragma once

#include <string_view>

namespace qf::package {

// Whether one name of a path (between separators) is a plain Windows file name:
// not empty, not "." or "..", no control characters or < > : " | ? * \ /,
// no trailing dot or blank (Windows strips them), not a device name.
bool IsPlainComponent(std::u16string_view component);

// Why a component is not plain, for the tools to word; the first rule it breaks.
enum class NotPlain { No, Empty, DotName, ControlCharacter, ForbiddenCharacter, TrailingDotOrBlank, DeviceName };
// `offending` receives the forbidden unit, when there is one.
NotPlain WhyNotPlainComponent(std::u16string_view component, char16_t* offending = nullptr);

// Whether extracting an entry can only write a plain file below the extraction
// directory. The entry's path is its directory and name joined as plain text;
// "/" counts as a separator as well as "\", the directory may be empty, and the
// name must be a single component.
bool IsSafeEntryPath(std::u16string_view directory, std::u16string_view name);

}  // namespace qf::package
