#include <gtest/gtest.h>

#include <vector>

#include "workspace/WorkspaceDrive.h"

namespace qf {
namespace {

constexpr uint32_t kRemovable = 2;
constexpr uint32_t kRemote = 4;
constexpr uint32_t kOptical = 5;
constexpr uint32_t kRamDisk = 6;

DriveMeasurement Fixed(char16_t letter, uint64_t totalFree) { return {letter, true, kDriveFixed, totalFree}; }

char16_t Chosen(const std::vector<DriveMeasurement>& drives) {
  const auto drive = ChooseWorkspaceDrive(drives);
  return drive ? drive->letter : u'-';
}

TEST(WorkspaceDrive, FixedDriveWinsOverOpticalDriveWithMoreSpace) {
  const std::vector<DriveMeasurement> drives = {Fixed(u'C', 1000), {u'D', true, kOptical, 5000}};
  const auto drive = ChooseWorkspaceDrive(drives);
  ASSERT_TRUE(drive);
  EXPECT_EQ(drive->letter, u'C');
  EXPECT_EQ(drive->totalFree, 1000u);
}

TEST(WorkspaceDrive, OnlyFixedDrivesAreChosen) {
  EXPECT_EQ(Chosen({}), u'-');
  EXPECT_EQ(Chosen({{u'A', true, kRemovable, 900}, {u'E', true, kRemote, 900}, {u'R', true, kRamDisk, 900}}), u'-');
  EXPECT_EQ(Chosen({{u'A', true, kRemovable, 900}, Fixed(u'F', 10), {u'R', true, kRamDisk, 900}}), u'F');
}

TEST(WorkspaceDrive, MostFreeSpaceWins) {
  EXPECT_EQ(Chosen({Fixed(u'C', 100), Fixed(u'D', 300), Fixed(u'E', 200)}), u'D');
  EXPECT_EQ(Chosen({Fixed(u'C', 100), Fixed(u'D', 101)}), u'D');
}

TEST(WorkspaceDrive, LowerLetterWinsOnEqualSpace) {
  EXPECT_EQ(Chosen({Fixed(u'C', 500), Fixed(u'D', 500)}), u'C');
  EXPECT_EQ(Chosen({Fixed(u'E', 500), Fixed(u'D', 500)}), u'D');
}

TEST(WorkspaceDrive, DriveWithoutFreeSpaceIsNeverChosen) {
  EXPECT_EQ(Chosen({Fixed(u'C', 0)}), u'-');
  EXPECT_EQ(Chosen({Fixed(u'C', 0), Fixed(u'D', 1)}), u'D');
}

TEST(WorkspaceDrive, FailedQueryIsNotChosen) {
  EXPECT_EQ(Chosen({{u'C', false, kDriveFixed, 9000}}), u'-');
  EXPECT_EQ(Chosen({{u'C', false, kDriveFixed, 9000}, Fixed(u'D', 10)}), u'D');
}

}  // namespace
}  // namespace qf
