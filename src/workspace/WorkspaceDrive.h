#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace qf {

// Drive types as GetDriveTypeW reports them; only fixed drives hold a workspace.
inline constexpr uint32_t kDriveFixed = 3;

inline constexpr char16_t kFirstDriveLetter = u'A';
inline constexpr int kDriveCount = 26;

// What the scan learnt about one drive that could be made current.
struct DriveMeasurement {
  char16_t letter;
  bool queried;  // the free-space query succeeded
  uint32_t type;
  uint64_t totalFree;  // free bytes on the volume, not those available to the caller
};

// The fixed drive with the most free bytes; the lower letter wins on equal space,
// and a drive without free bytes never wins.
std::optional<DriveMeasurement> ChooseWorkspaceDrive(std::span<const DriveMeasurement> drives);

// The running executable (stub and package) must fit into the free space.
bool HasRoomFor(uint64_t freeBytes, uint64_t executableSize);

}  // namespace qf
