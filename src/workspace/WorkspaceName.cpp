#include "workspace/WorkspaceName.h"

namespace qf {
namespace {

constexpr uint32_t kLetterCount = 26;
// The largest multiple of 26 that a byte can hold: bytes below it map evenly.
constexpr uint32_t kEvenByteLimit = 256 / kLetterCount * kLetterCount;

}  // namespace

std::optional<std::u16string> WorkspaceNameFromBytes(std::span<const uint8_t> bytes) {
  std::u16string name;
  name.reserve(kWorkspaceNameLength);
  for (const uint8_t byte : bytes) {
    if (name.size() == kWorkspaceNameLength) break;
    if (byte >= kEvenByteLimit) continue;
    name.push_back(static_cast<char16_t>(u'a' + byte % kLetterCount));
  }
  if (name.size() != kWorkspaceNameLength) return std::nullopt;
  return name;
}

std::u16string DriveText(char16_t letter) { return std::u16string{letter, u':'}; }

bool IsWorkspacePath(std::u16string_view path) {
  constexpr std::size_t kPrefixLength = 3;  // "C:\"
  if (path.size() != kPrefixLength + kWorkspaceNameLength) return false;
  const char16_t drive = path[0];
  if (drive < u'A' || drive > u'Z' || path[1] != u':' || path[2] != u'\\') return false;
  for (char16_t c : path.substr(kPrefixLength)) {
    if (c < u'a' || c > u'z') return false;
  }
  return true;
}

std::optional<std::u16string> CreateUniqueWorkspace(
    char16_t driveLetter, const NameSource& names,
    const std::function<CreateOutcome(const std::u16string&)>& tryCreate) {
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    const auto name = names();
    if (!name) return std::nullopt;
    const std::u16string path = DriveText(driveLetter) + u"\\" + *name;
    switch (tryCreate(path)) {
      case CreateOutcome::Created:
        return path;
      case CreateOutcome::AlreadyExists:
        continue;
      case CreateOutcome::Failed:
        return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace qf
