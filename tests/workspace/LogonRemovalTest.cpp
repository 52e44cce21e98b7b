#include <gtest/gtest.h>

#include "workspace/LogonRemoval.h"

namespace qf {
namespace {

TEST(LogonRemoval, CommandIsPrefixAndBarePath) {
  EXPECT_EQ(RemovalCommand(u"C:\\kqzmwtebhyalrvo"), u"cmd /C rmdir /S /Q C:\\kqzmwtebhyalrvo");
}

// A killed run's value is acted on only when it is exactly a workspace's command.
TEST(LogonRemoval, OnlyAWorkspaceCommandNamesALeftover) {
  EXPECT_EQ(LeftoverWorkspace(u"cmd /C rmdir /S /Q C:\\kqzmwtebhyalrvo"), u"C:\\kqzmwtebhyalrvo");
  for (const char16_t* other :
       {u"", u"cmd /C rmdir /S /Q ", u"cmd /C rmdir /S /Q C:\\", u"cmd /C rmdir /S /Q C:\\Windows",
        u"cmd /C rmdir /S /Q C:\\kqzmwtebhyalrvo\\x", u"cmd /C rmdir /S /Q  C:\\kqzmwtebhyalrvo",
        u"CMD /C rmdir /S /Q C:\\kqzmwtebhyalrvo", u"cmd /C rmdir /S /Q C:\\kqzmwtebhyalrvo & del x",
        u"cmd /C rmdir /S /Q C:\\KQZMWTEBHYALRVO", u"C:\\kqzmwtebhyalrvo"}) {
    EXPECT_FALSE(LeftoverWorkspace(other)) << std::string(other, other + std::char_traits<char16_t>::length(other));
  }
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
