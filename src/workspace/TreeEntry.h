#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qf {

// File attributes as the directory search reports them.
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeReparsePoint = 0x400;

enum class TreeAction {
  Skip,                 // "." and ".."
  RemoveFile,           // clear its attributes, delete it
  DeleteSubtree,        // clear its attributes, delete what it holds, remove it
  RemoveDirectoryLink,  // a junction or directory symbolic link: remove the link alone
  RemoveFileLink,       // a file symbolic link: delete the link alone
};

// A reparse point is never entered and its attributes are never changed: they
// would be those of its target, which may lie outside the tree.
TreeAction ClassifyTreeEntry(std::u16string_view name, uint32_t attributes);

// A tree can be deleted by its path unless that is empty (the search would then
// start at the root of the current drive), the blank of a failed Create, or too long.
bool CanDeleteTree(std::u16string_view path);

// "dir\name", or nothing when that does not fit a path buffer.
std::optional<std::u16string> EntryPath(std::u16string_view directory, std::u16string_view name);
// "dir\*.*", or nothing when that does not fit a path buffer.
std::optional<std::u16string> SearchPattern(std::u16string_view directory);

}  // namespace qf
