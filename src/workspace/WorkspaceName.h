#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qf {

inline constexpr std::size_t kWorkspaceNameLength = 15;
// A name that exists already is never taken over; this many fresh names are tried.
inline constexpr int kMaxNameAttempts = 32;

// Fifteen lower-case letters from random bytes, each letter equally likely: a
// byte that would favour the first letters (234 and above) is passed over.
// Nothing when the bytes run out first.
std::optional<std::u16string> WorkspaceNameFromBytes(std::span<const uint8_t> bytes);

// "C:" for 'C'.
std::u16string DriveText(char16_t letter);

// True for a path as Workspace::Create returns it (a drive letter, ":\" and
// fifteen lower-case letters).
bool IsWorkspacePath(std::u16string_view path);

enum class CreateOutcome { Created, AlreadyExists, Failed };
using NameSource = std::function<std::optional<std::u16string>()>;

// Takes names from `names` until `tryCreate` makes a new directory at the root
// of the drive; gives up when no name comes, on any other failure and after
// kMaxNameAttempts names.
std::optional<std::u16string> CreateUniqueWorkspace(
    char16_t driveLetter, const NameSource& names,
    const std::function<CreateOutcome(const std::u16string&)>& tryCreate);

}  // namespace qf
