#pragma once

#include <cstdint>
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

// Windows 5.2 and later know the 64-bit registry view flag; older versions refuse it.
uint32_t RunOnceAccessMask(uint32_t majorVersion, uint32_t minorVersion);

}  // namespace qf
