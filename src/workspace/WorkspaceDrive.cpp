#include "workspace/WorkspaceDrive.h"

namespace qf {

std::optional<DriveMeasurement> ChooseWorkspaceDrive(std::span<const DriveMeasurement> drives) {
  std::optional<DriveMeasurement> best;
  for (const DriveMeasurement& drive : drives) {
    if (!drive.queried || drive.type != kDriveFixed || drive.totalFree == 0) continue;
    const bool more = !best || drive.totalFree > best->totalFree;
    const bool tieWithLowerLetter = best && drive.totalFree == best->totalFree && drive.letter < best->letter;
    if (more || tieWithLowerLetter) best = drive;
  }
  return best;
}

bool HasRoomFor(uint64_t freeBytes, uint64_t executableSize) { return executableSize <= freeBytes; }

}  // namespace qf
