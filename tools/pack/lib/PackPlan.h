#pragma once

// What goes into an installer, and everything the stub could not handle,
// found before a single byte is written.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace qf::pack {

// The workspace is a drive, a colon, a backslash and fifteen letters; every
// file is written below it after one more backslash.
inline constexpr std::size_t kWorkspacePrefixUnits = 19;

struct PlannedFile {
  std::u16string source;     // path of the file to pack
  std::u16string directory;  // below the workspace: empty, or "sub\deeper\"
  std::u16string name;
  uint64_t size = 0;

  std::u16string PackagedPath() const { return directory + name; }
};

struct Collected {
  std::vector<PlannedFile> files;  // sorted by directory, then name
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
};

// Files stand for themselves at the top of the workspace; a folder stands for
// everything below it, its subfolders becoming directories. `skip` (a file of
// the inputs that is packed otherwise, the settings) is left out.
Collected CollectInputs(std::span<const std::u16string> inputs, const std::u16string& skip);

// Why the stub would refuse a file, naming it; empty when it would not. Covers
// the table's limits, names Windows forbids, the workspace path length, two
// files at one path and the settings file's own place. `stubBytes` and
// `settingsBytes` complete the installer's size.
std::vector<std::string> CheckPlan(std::span<const PlannedFile> files, uint64_t stubBytes, uint64_t settingsBytes,
                                   const std::string& installer);

// Why a single name (between separators) is not a plain Windows file name;
// empty when it is one.
std::string WhyNotPlain(std::u16string_view component);

// The system's path text for a file-system path, and back.
std::u16string CorePath(const std::filesystem::path& path);
std::filesystem::path FsPath(std::u16string_view path);

}  // namespace qf::pack
