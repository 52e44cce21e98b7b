#pragma once

#include <string_view>

namespace qf::package {

// Whether one name of a path (between separators) is a plain Windows file name:
// not empty, not "." or "..", no control characters or < > : " | ? * \ /,
// no trailing dot or blank (Windows strips them), not a device name.
bool IsPlainComponent(std::u16string_view component);

// Whether extracting an entry can only write a plain file below the extraction
// directory. The entry's path is its directory and name joined as plain text;
// "/" counts as a separator as well as "\", the directory may be empty, and the
// name must be a single component.
bool IsSafeEntryPath(std::u16string_view directory, std::u16string_view name);

}  // namespace qf::package
