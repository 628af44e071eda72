#include "core/order_text.h"

#include <gtest/gtest.h>

namespace tb {
namespace {

using Keys = std::vector<std::string>;

TEST(order_text_test, split_drops_empty_pieces_and_join_stores_them_once) {
  const Keys keys = SplitOrderText("a??b?");
  EXPECT_EQ(keys, (Keys{"a", "b"}));
  EXPECT_EQ(JoinOrderText(keys), "a?b");
  EXPECT_EQ(SplitOrderText("??first?second??third"), (Keys{"first", "second", "third"}));
  EXPECT_EQ(SplitOrderText("???"), Keys{});
}

TEST(order_text_test, empty_list_and_empty_text_correspond) {
  EXPECT_EQ(JoinOrderText({}), "");
  EXPECT_TRUE(SplitOrderText("").empty());
  EXPECT_EQ(SplitOrderText("single"), Keys{"single"});
  EXPECT_EQ(JoinOrderText({"single"}), "single");
}

TEST(order_text_test, keys_round_trip_in_order) {
  const Keys keys = {"01234567-89ab-cdef-2301-6745efcdab89", "sample.dll*2", "*0"};
  EXPECT_EQ(SplitOrderText(JoinOrderText(keys)), keys);
}

TEST(order_text_test, limit_leaves_off_whole_keys_from_the_end) {
  const Keys keys = {"aa", "bb", "cc"};
  EXPECT_EQ(JoinOrderText(keys, 8), "aa?bb?cc");
  EXPECT_EQ(JoinOrderText(keys, 7), "aa?bb");
  EXPECT_EQ(JoinOrderText(keys, 5), "aa?bb");
  EXPECT_EQ(JoinOrderText(keys, 4), "aa");
  EXPECT_EQ(JoinOrderText(keys, 1), "");
  // A key that does not fit ends the text, so the stored order stays a prefix.
  EXPECT_EQ(JoinOrderText({"a", "toolong", "b"}, 5), "a");
}

}  // namespace
}  // namespace tb
