#include "workspace/LogonRemoval.h"

#include "workspace/WorkspaceName.h"

namespace qf {
namespace {

constexpr uint32_t kWow64FlagMajor = 5;
constexpr uint32_t kWow64FlagMinor = 2;
constexpr std::size_t kDriveRootUnits = 3;  // the drive letter, ':' and '\\' before a workspace's name

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

bool IsOwnRegistration(const RunOnceEntry& value, std::u16string_view ownPath) {
  if (!IsWorkspacePath(ownPath)) return false;
  const bool ownName = value.name == kRunOnceValueName || value.name == MovedValueName(ownPath);
  return ownName && value.data == RemovalCommand(ownPath);
}

uint32_t RunOnceAccessMask(uint32_t majorVersion, uint32_t minorVersion) {
  const bool knowsWow64Flag =
      majorVersion > kWow64FlagMajor || (majorVersion == kWow64FlagMajor && minorVersion >= kWow64FlagMinor);
  return knowsWow64Flag ? (kKeyAllAccess | kKeyWow64_64Key) : kKeyAllAccess;
}

}  // namespace qf
