#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qf {

// What Workspace::Create returns when no workspace could be made.
inline constexpr std::u16string_view kNoWorkspace = u" ";

inline constexpr std::size_t kWorkspaceNameLength = 15;
// A name that exists already is never taken over; this many fresh names are tried.
inline constexpr int kMaxNameAttempts = 32;

// The linear congruential generator the names are drawn from.
class NameGenerator {
 public:
  explicit NameGenerator(uint32_t seed) : m_state(seed) {}
  // 15 bits per draw.
  uint32_t NextValue();
  // Fifteen lower-case letters, one per draw.
  std::u16string NextName();

 private:
  uint32_t m_state;
};

// The first name a seed gives.
std::u16string WorkspaceName(uint32_t seed);

// "C:" for 'C'.
std::u16string DriveText(char16_t letter);

// True for a path as Workspace::Create returns it (a drive letter, ":\" and
// fifteen lower-case letters); false for its failure text " " and for nothing.
bool IsWorkspacePath(std::u16string_view path);

enum class CreateOutcome { Created, AlreadyExists, Failed };

// Draws names from the seed until `tryCreate` makes a new directory at the root
// of the drive; gives up on any other failure and after kMaxNameAttempts names.
std::optional<std::u16string> CreateUniqueWorkspace(
    char16_t driveLetter, uint32_t seed, const std::function<CreateOutcome(const std::u16string&)>& tryCreate);

}  // namespace qf
