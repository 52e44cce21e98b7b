#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qf {
class PackageReader;

namespace package {

// The installer program's path as the settings name it, relative to the
// workspace, in the form it is compared with the entries in: "/" read as "\"
// and "." segments dropped, letter case kept (the comparison folds it). No
// value for a path that could name no file below the workspace: empty, a
// folder's trailing separator, a rooted or drive path, a ".." segment, any
// segment that is not a plain file name.
std::optional<std::u16string> ProgramPath(std::u16string_view file);

// The entry of the loaded table, other than the settings file, that `file`
// names, in the entry's own spelling ("dir\name", as ProgramPath gives it);
// no value when it names none.
std::optional<std::u16string> FindProgram(const PackageReader& reader, std::u16string_view file);

}  // namespace package
}  // namespace qf
