#include "package/ProgramPath.h"

#include "package/PackageReader.h"
#include "package/PathSafety.h"
#include "sys/Text.h"

namespace qf::package {

std::optional<std::u16string> ProgramPath(std::u16string_view file) {
  std::u16string path;
  std::size_t start = 0;
  for (std::size_t end = 0; end <= file.size(); ++end) {
    if (end < file.size() && file[end] != u'\\' && file[end] != u'/') continue;
    const std::u16string_view segment = file.substr(start, end - start);
    start = end + 1;
    if (segment == u".") continue;
    if (!IsPlainComponent(segment)) return std::nullopt;
    if (!path.empty()) path += u'\\';
    path += segment;
  }
  if (path.empty()) return std::nullopt;
  return path;
}

std::optional<std::u16string> FindProgram(const PackageReader& reader, std::u16string_view file) {
  const std::optional<std::u16string> wanted = ProgramPath(file);
  for (int32_t index = 0; wanted && index + 1 < reader.GetEntryCount(); ++index) {
    const PackageEntry& entry = reader.GetEntry(index);
    const std::optional<std::u16string> path = ProgramPath(entry.directory + entry.name);
    if (path && sys::SameFileName(*path, *wanted)) return path;
  }
  return std::nullopt;
}

}  // namespace qf::package
