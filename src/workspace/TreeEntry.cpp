#include "workspace/TreeEntry.h"

#include "sys/Path.h"

namespace qf {
namespace {

std::optional<std::u16string> Join(std::u16string_view directory, std::u16string_view name) {
  std::u16string path(directory);
  path += u'\\';
  path += name;
  if (!sys::PathFits(path)) return std::nullopt;
  return path;
}

}  // namespace

TreeAction ClassifyTreeEntry(std::u16string_view name, uint32_t attributes) {
  if (name == u"." || name == u"..") return TreeAction::Skip;
  const bool directory = (attributes & kAttributeDirectory) != 0;
  if ((attributes & kAttributeReparsePoint) != 0) {
    return directory ? TreeAction::RemoveDirectoryLink : TreeAction::RemoveFileLink;
  }
  return directory ? TreeAction::DeleteSubtree : TreeAction::RemoveFile;
}

bool CanDeleteTree(std::u16string_view path) {
  return sys::PathFits(path) && path.find_first_not_of(u' ') != std::u16string_view::npos;
}

std::optional<std::u16string> EntryPath(std::u16string_view directory, std::u16string_view name) {
  return Join(directory, name);
}

std::optional<std::u16string> SearchPattern(std::u16string_view directory) { return Join(directory, u"*.*"); }

}  // namespace qf
