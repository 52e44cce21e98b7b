#include "workspace/LogonRemoval.h"

#include "workspace/WorkspaceName.h"

namespace qf {
namespace {

constexpr uint32_t kWow64FlagMajor = 5;
constexpr uint32_t kWow64FlagMinor = 2;

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

uint32_t RunOnceAccessMask(uint32_t majorVersion, uint32_t minorVersion) {
  const bool knowsWow64Flag =
      majorVersion > kWow64FlagMajor || (majorVersion == kWow64FlagMajor && minorVersion >= kWow64FlagMinor);
  return knowsWow64Flag ? (kKeyAllAccess | kKeyWow64_64Key) : kKeyAllAccess;
}

}  // namespace qf
