#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qf {

// The current user's RunOnce value that removes a workspace at the next logon.
inline constexpr std::u16string_view kRunOnceKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr std::u16string_view kRunOnceValueName = u"TavixQF";
inline constexpr std::u16string_view kRemovalCommandPrefix = u"cmd /C rmdir /S /Q ";

inline constexpr uint32_t kKeyAllAccess = 0xF003F;
inline constexpr uint32_t kKeyWow64_64Key = 0x0100;

// "cmd /C rmdir /S /Q " and the path, unquoted: a workspace path holds no blanks.
std::u16string RemovalCommand(std::u16string_view workspacePath);

// The workspace a value of that name removes, when it is exactly the command
// for one (the prefix and a workspace path, nothing more); else nothing.
std::optional<std::u16string> LeftoverWorkspace(std::u16string_view value);

// Windows 5.2 and later know the 64-bit registry view flag; older versions refuse it.
uint32_t RunOnceAccessMask(uint32_t majorVersion, uint32_t minorVersion);

}  // namespace qf
