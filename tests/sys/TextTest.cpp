#include <gtest/gtest.h>

#include "sys/Text.h"

namespace qf::sys {

TEST(TextConversion, RoundTripsEveryPlane) {
  const std::u16string text = u"a\u00e9\u20ac\U0001F600$Settings.ini";
  const auto utf8 = Utf16ToUtf8(text);
  ASSERT_TRUE(utf8);
  EXPECT_EQ(*utf8, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80$Settings.ini");
  EXPECT_EQ(Utf8ToUtf16(*utf8), text);
}

TEST(TextConversion, RefusesMalformedInput) {
  EXPECT_FALSE(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))));
  EXPECT_FALSE(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))));
  EXPECT_FALSE(Utf8ToUtf16("\xC3"));          // cut short
  EXPECT_FALSE(Utf8ToUtf16("\xC0\xAF"));      // overlong "/"
  EXPECT_FALSE(Utf8ToUtf16("\xED\xA0\x80"));  // encoded surrogate
  EXPECT_FALSE(Utf8ToUtf16("\xFF"));
}

TEST(TextConversion, LossyConversionShowsUnpairedSurrogatesAsReplacement) {
  const std::u16string text = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
  EXPECT_EQ(Utf16ToUtf8Lossy(text), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8Lossy(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

}  // namespace qf::sys
