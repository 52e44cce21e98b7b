#include <gtest/gtest.h>

#include "workspace/LogonRemoval.h"

namespace qf {
namespace {

TEST(LogonRemoval, CommandIsPrefixAndBarePath) {
  EXPECT_EQ(RemovalCommand(u"C:\\kqzmwtebhyalrvo"), u"cmd /C rmdir /S /Q C:\\kqzmwtebhyalrvo");
}

TEST(LogonRemoval, SixtyFourBitViewFromVersion5Point2) {
  EXPECT_EQ(RunOnceAccessMask(0, 0), 0xF003Fu);
  EXPECT_EQ(RunOnceAccessMask(4, 90), 0xF003Fu);
  EXPECT_EQ(RunOnceAccessMask(5, 0), 0xF003Fu);
  EXPECT_EQ(RunOnceAccessMask(5, 1), 0xF003Fu);
  EXPECT_EQ(RunOnceAccessMask(5, 2), 0xF013Fu);
  EXPECT_EQ(RunOnceAccessMask(5, 3), 0xF013Fu);
  EXPECT_EQ(RunOnceAccessMask(6, 0), 0xF013Fu);
  EXPECT_EQ(RunOnceAccessMask(6, 1), 0xF013Fu);
  EXPECT_EQ(RunOnceAccessMask(10, 0), 0xF013Fu);
}

}  // namespace
}  // namespace qf
