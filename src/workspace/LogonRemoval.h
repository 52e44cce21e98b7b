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

// A value of the RunOnce key as read: its name and its text.
struct RunOnceEntry {
  std::u16string name;
  std::u16string data;
  bool operator==(const RunOnceEntry&) const = default;
};

// Where a value under the fixed name that removes another workspace is kept:
// "TavixQF." and that workspace's fifteen letters. Only for a workspace path.
std::u16string MovedValueName(std::u16string_view workspacePath);

// What to write before this run's own value replaces `fixedValue`, the value
// under the fixed name: when that is exactly another workspace's removal
// command, the same command under that workspace's moved name. The workspace
// it names may be a killed run's or still in use by a run in another session
// (the single-instance mutex is per session, RunOnce per user): it is never
// deleted at once, and goes at the next logon. Any other value is replaced.
std::optional<RunOnceEntry> RegistrationToKeep(std::u16string_view fixedValue, std::u16string_view ownPath);

// Whether a run withdraws `value` once its workspace is gone: under the fixed
// name or its workspace's moved name, and exactly its own removal command.
// Another run's value stays, whichever run ends first.
bool IsOwnRegistration(const RunOnceEntry& value, std::u16string_view ownPath);

// Windows 5.2 and later know the 64-bit registry view flag; older versions refuse it.
uint32_t RunOnceAccessMask(uint32_t majorVersion, uint32_t minorVersion);

}  // namespace qf
