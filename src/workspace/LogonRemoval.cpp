#include "workspace/LogonRemoval.h"

#include "sys/Text.h"
#include "workspace/WorkspaceName.h"

namespace qf {
namespace {

constexpr uint32_t kWow64FlagMajor = 5;
constexpr uint32_t kWow64FlagMinor = 2;
constexpr std::size_t kDriveRootUnits = 3;  // the drive letter, ':' and '\\' before a workspace's name

// Value names ignore letter case.
bool IsOwnValueName(std::u16string_view name) {
  const std::u16string moved = std::u16string(kRunOnceValueName) + u".";
  return sys::SameFileName(name, kRunOnceValueName) || sys::SameFileName(name.substr(0, moved.size()), moved);
}

}  // namespace

std::u16string RemovalCommand(std::u16string_view workspacePath) {
  std::u16string command(kRemovalCommandPrefix);
  command += workspacePath;
  return command;
}

std::optional<std::u16string> LeftoverWorkspace(std::u16string_view value) {
  if (value.substr(0, kRemovalCommandPrefix.size()) != kRemovalCommandPrefix) return std::nullopt;
  const std::u16string_view path = value.substr(kRemovalCommandPrefix.size());
  if (!IsWorkspacePath(path)) return std::nullopt;
  return std::u16string(path);
}

std::u16string MovedValueName(std::u16string_view workspacePath) {
  return std::u16string(kRunOnceValueName) + u"." + std::u16string(workspacePath.substr(kDriveRootUnits));
}

std::optional<RunOnceEntry> RegistrationToKeep(std::u16string_view fixedValue, std::u16string_view ownPath) {
  const auto other = LeftoverWorkspace(fixedValue);
  if (!other || *other == ownPath) return std::nullopt;
  return RunOnceEntry{MovedValueName(*other), std::u16string(fixedValue)};
}

std::vector<std::u16string> ValuesToWithdraw(std::span<const RunOnceEntry> values, std::u16string_view ownPath) {
  const std::u16string own = RemovalCommand(ownPath);
  std::vector<std::u16string> names;
  for (const RunOnceEntry& value : values) {
    if (IsOwnValueName(value.name) && value.data == own) names.push_back(value.name);
  }
  return names;
}

uint32_t RunOnceAccessMask(uint32_t majorVersion, uint32_t minorVersion) {
  const bool knowsWow64Flag =
      majorVersion > kWow64FlagMajor || (majorVersion == kWow64FlagMajor && minorVersion >= kWow64FlagMinor);
  return knowsWow64Flag ? (kKeyAllAccess | kKeyWow64_64Key) : kKeyAllAccess;
}

}  // namespace qf
