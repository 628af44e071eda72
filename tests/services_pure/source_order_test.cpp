#include "services/source_order.h"

#include <gtest/gtest.h>

#include <random>

namespace tb {
namespace {

using Keys = std::vector<std::string>;
using Indexes = std::vector<std::size_t>;

// The walk as the manager has always described it: every stored key scans the
// candidates from the start, skipping those already taken.
struct Walked {
  Indexes order;
  Keys kept;
};

Walked ReferenceWalk(const Keys& candidates, Keys stored) {
  Walked result;
  if (candidates.empty()) {
    result.kept = stored;
    return result;
  }
  std::vector<bool> taken(candidates.size(), false);
  for (std::size_t k = 0; k < stored.size();) {
    bool matched = false;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      if (taken[i] || candidates[i] != stored[k]) continue;
      taken[i] = true;
      result.order.push_back(i);
      matched = true;
      break;
    }
    if (matched) {
      ++k;
    } else {
      stored.erase(stored.begin() + static_cast<std::ptrdiff_t>(k));
    }
  }
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (!taken[i]) result.order.push_back(i);
  }
  result.kept = stored;
  return result;
}

Keys KeptKeys(Keys stored, const SourceOrderPlan& plan) {
  DropPrunedKeys(stored, plan);
  return stored;
}

TEST(source_order_test, stored_keys_come_first_then_the_rest_in_candidate_order) {
  const Keys candidates = {"a", "b", "c", "d"};
  SourceOrderPlan plan = PlanSourceOrder(candidates, {"c", "a"});
  EXPECT_EQ(plan.order, (Indexes{2, 0, 1, 3}));
  EXPECT_FALSE(plan.pruned);
  EXPECT_EQ(KeptKeys({"c", "a"}, plan), (Keys{"c", "a"}));
}

TEST(source_order_test, unmatched_and_repeated_keys_are_pruned) {
  // "a" twice with one candidate "a": the second occurrence goes; "x" matches nothing.
  const Keys stored = {"x", "a", "b", "a"};
  SourceOrderPlan plan = PlanSourceOrder({"b", "a"}, stored);
  EXPECT_EQ(plan.order, (Indexes{1, 0}));
  EXPECT_TRUE(plan.pruned);
  EXPECT_EQ(KeptKeys(stored, plan), (Keys{"a", "b"}));
}

TEST(source_order_test, equal_candidate_keys_are_taken_in_candidate_order) {
  const Keys stored = {"k", "k"};
  SourceOrderPlan plan = PlanSourceOrder({"k", "z", "k", "k"}, stored);
  EXPECT_EQ(plan.order, (Indexes{0, 2, 1, 3}));
  EXPECT_FALSE(plan.pruned);
}

TEST(source_order_test, keys_compare_byte_for_byte) {
  SourceOrderPlan plan = PlanSourceOrder({"Key", "key "}, {"key", "KEY", "key "});
  EXPECT_EQ(plan.order, (Indexes{1, 0}));
  EXPECT_EQ(KeptKeys({"key", "KEY", "key "}, plan), (Keys{"key "}));
}

TEST(source_order_test, no_candidates_keeps_every_stored_key) {
  SourceOrderPlan plan = PlanSourceOrder({}, {"a", "b"});
  EXPECT_TRUE(plan.order.empty());
  EXPECT_FALSE(plan.pruned);
  EXPECT_EQ(KeptKeys({"a", "b"}, plan), (Keys{"a", "b"}));
  EXPECT_TRUE(PlanSourceOrder({"a"}, {}).keep.empty());
}

TEST(source_order_test, matches_the_plain_walk_on_random_inputs) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 3000; ++round) {
    // Few distinct keys, so that repeats on both sides are common.
    const int alphabet = 1 + static_cast<int>(random() % 8);
    auto key = [&] { return std::string(1, static_cast<char>('a' + random() % alphabet)); };
    Keys candidates(random() % 9), stored(random() % 12);
    for (std::string& k : candidates) k = key();
    for (std::string& k : stored) k = key() + (random() % 5 == 0 ? "!" : "");  // some strays
    const Walked expected = ReferenceWalk(candidates, stored);
    const SourceOrderPlan plan = PlanSourceOrder(candidates, stored);
    ASSERT_EQ(plan.order, expected.order) << "round " << round;
    ASSERT_EQ(KeptKeys(stored, plan), expected.kept) << "round " << round;
    ASSERT_EQ(plan.pruned, expected.kept.size() != stored.size()) << "round " << round;
  }
}

TEST(source_order_test, matches_the_plain_walk_on_large_inputs) {
  // Enough keys for the table to wrap and probe past full stretches.
  std::mt19937 random(99);
  for (int round = 0; round < 40; ++round) {
    const int alphabet = 1 + static_cast<int>(random() % 600);
    auto key = [&] { return "key" + std::to_string(random() % alphabet); };
    Keys candidates(random() % 400), stored(random() % 400);
    for (std::string& k : candidates) k = key();
    for (std::string& k : stored) k = key();
    const Walked expected = ReferenceWalk(candidates, stored);
    const SourceOrderPlan plan = PlanSourceOrder(candidates, stored);
    ASSERT_EQ(plan.order, expected.order) << "round " << round;
    ASSERT_EQ(KeptKeys(stored, plan), expected.kept) << "round " << round;
  }
}

}  // namespace
}  // namespace tb
