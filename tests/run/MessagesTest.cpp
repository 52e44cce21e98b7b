#include <gtest/gtest.h>

#include "run/Messages.h"

namespace qf {
namespace {

void ExpectMessage(int32_t code, std::u16string_view text, uint32_t flags) {
  const auto m = MessageForResult(static_cast<ResultCode>(code));
  ASSERT_TRUE(m) << code;
  EXPECT_EQ(m->text, text) << code;
  EXPECT_EQ(m->caption, u"Quillfen Builder") << code;
  EXPECT_EQ(m->flags, flags) << code;
}

TEST(ResultMessages, FiveCodesShowTheirTextWithTheirIcon) {
  ExpectMessage(1000, u"Could not open the installer", 0x30);
  ExpectMessage(1001, u"The Signature Could not be verified", 0x10);
  ExpectMessage(1004, u"The Quillfen should have at least one file", 0x30);
  ExpectMessage(1005, u"Extraction Failed", 0x10);
  ExpectMessage(1008, u"Invalid Version of the Quillfen", 0x10);
}

TEST(ResultMessages, SuccessReopenAndUnknownCodesShowNothing) {
  for (int32_t code : {1002, 1003, 1006, 1007, 0, 999, 1009, -1}) {
    EXPECT_FALSE(MessageForResult(static_cast<ResultCode>(code))) << code;
  }
}

TEST(DirectMessages, CaptionsAndIconsAreExact) {
  EXPECT_EQ(kNoRoomMessage.text, u"Insufficient Disk Space");
  EXPECT_EQ(kNoRoomMessage.caption, u"Error - Quillfen ");
  EXPECT_EQ(kNoRoomMessage.flags, 0x10u);
  EXPECT_EQ(kInvalidInstallerMessage.text, u"Invalid Installer");
  EXPECT_EQ(kInvalidInstallerMessage.caption, u"Error - Quillfen ");
  EXPECT_EQ(kNoWorkerMessage.text, u"Extraction Failed");
  EXPECT_EQ(kNoWorkerMessage.caption, u"Quillfen");
  EXPECT_EQ(kNoWorkerMessage.flags, 0u);
  EXPECT_EQ(PlatformFailureMessage(u"x").caption, u"Error - Quillfen ");
  EXPECT_EQ(PlatformFailureMessage(u"x").flags, 0x10u);
}

TEST(ExpandLineBreaks, ReplacesMarkersLeftToRightWithoutOverlap) {
  EXPECT_EQ(ExpandLineBreaks(u"First.~~Second."), u"First.\r\nSecond.");
  EXPECT_EQ(ExpandLineBreaks(u"no marker"), u"no marker");
  EXPECT_EQ(ExpandLineBreaks(u"a~~~b"), u"a\r\n~b");
  EXPECT_EQ(ExpandLineBreaks(u"~~~~"), u"\r\n\r\n");
  EXPECT_EQ(ExpandLineBreaks(u"~"), u"~");
  EXPECT_EQ(ExpandLineBreaks(u""), u"");
}

}  // namespace
}  // namespace qf
