#include <gtest/gtest.h>

#include "platform/ValueList.h"

namespace qf::platform {
namespace {

using Items = std::vector<std::u16string_view>;

TEST(ValueList, DropsEmptyItemsAndTrimsNothing) {
  EXPECT_EQ(ListItems(u""), Items{});
  EXPECT_EQ(ListItems(u";"), Items{});
  EXPECT_EQ(ListItems(u";;;"), Items{});
  EXPECT_EQ(ListItems(u"a"), Items{u"a"});
  EXPECT_EQ(ListItems(u";a;;b;"), (Items{u"a", u"b"}));
  EXPECT_EQ(ListItems(u" a ; b"), (Items{u" a ", u" b"}));
  EXPECT_EQ(ListItems(u" "), Items{u" "});
}

TEST(ValueList, ContainsComparesWholeItemsUnitByUnit) {
  EXPECT_TRUE(ListContains(u"8;11", u"11"));
  EXPECT_FALSE(ListContains(u"8;11", u"1"));
  EXPECT_FALSE(ListContains(u"8;11", u""));
  EXPECT_FALSE(ListContains(u"", u""));
  EXPECT_FALSE(ListContains(u"Tavix", u"tavix"));
}

}  // namespace
}  // namespace qf::platform
