#include "workspace/WorkspaceName.h"

namespace qf {
namespace {

constexpr uint32_t kMultiplier = 214013;
constexpr uint32_t kIncrement = 2531011;
constexpr int kValueShift = 16;
constexpr uint32_t kValueMask = 0x7FFF;
constexpr uint32_t kLetterCount = 26;

}  // namespace

uint32_t NameGenerator::NextValue() {
  m_state = m_state * kMultiplier + kIncrement;
  return (m_state >> kValueShift) & kValueMask;
}

std::u16string NameGenerator::NextName() {
  std::u16string name;
  name.reserve(kWorkspaceNameLength);
  for (std::size_t i = 0; i < kWorkspaceNameLength; ++i) {
    name.push_back(static_cast<char16_t>(u'a' + NextValue() % kLetterCount));
  }
  return name;
}

std::u16string WorkspaceName(uint32_t seed) { return NameGenerator(seed).NextName(); }

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
    char16_t driveLetter, uint32_t seed, const std::function<CreateOutcome(const std::u16string&)>& tryCreate) {
  NameGenerator names(seed);
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    const std::u16string path = DriveText(driveLetter) + u"\\" + names.NextName();
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
