#include "workspace/LogonRemoval.h"

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

uint32_t RunOnceAccessMask(uint32_t majorVersion, uint32_t minorVersion) {
  const bool knowsWow64Flag =
      majorVersion > kWow64FlagMajor || (majorVersion == kWow64FlagMajor && minorVersion >= kWow64FlagMinor);
  return knowsWow64Flag ? (kKeyAllAccess | kKeyWow64_64Key) : kKeyAllAccess;
}

}  // namespace qf
