#include "plugins/pcm/channel_mix.h"

#include <gtest/gtest.h>

namespace tb::pcm {
namespace {

std::vector<double> Mix(int32_t in, int32_t out, const std::vector<double>& frames) {
  ChannelMix m(in, out);
  std::vector<double> dst(frames.size() / in * out, -99.0);
  m.Apply(frames.data(), frames.size() / in, dst.data());
  return dst;
}

TEST(channel_mix_test, duplicates_mono_and_averages_stereo) {
  EXPECT_EQ(Mix(1, 2, {0.25, -0.5}), (std::vector<double>{0.25, 0.25, -0.5, -0.5}));
  EXPECT_EQ(Mix(2, 1, {0.25, 0.75, -1.0, 1.0}), (std::vector<double>{0.5, 0.0}));
  EXPECT_EQ(Mix(3, 3, {1, 2, 3}), (std::vector<double>{1, 2, 3}));
}

TEST(channel_mix_test, sends_mono_to_the_front_pair_only) {
  EXPECT_EQ(Mix(1, 6, {0.5}), (std::vector<double>{0.5, 0.5, 0, 0, 0, 0}));
  EXPECT_EQ(Mix(1, 1, {0.5}), (std::vector<double>{0.5}));
}

TEST(channel_mix_test, folds_surround_into_stereo_by_side_without_the_lfe) {
  ChannelMix m(6, 2);  // L R C LFE BL BR
  for (int j = 0; j < 2; ++j) {
    double sum = 0;
    for (int i = 0; i < 6; ++i) sum += m.weight(j, i);
    EXPECT_NEAR(sum, 1.0, 1e-6) << "output " << j;
    EXPECT_EQ(m.weight(j, 3), 0.0);
  }
  EXPECT_EQ(m.weight(0, 1), 0.0);
  EXPECT_EQ(m.weight(1, 4), 0.0);
  EXPECT_GT(m.weight(0, 4), 0.0);
  EXPECT_FLOAT_EQ(m.weight(0, 2), m.weight(1, 2));
  EXPECT_FLOAT_EQ(m.weight(0, 2) / m.weight(0, 0), 0.70710678);
  // A signal in every channel keeps its level; nothing in the LFE leaks through.
  const auto y = Mix(6, 2, {0.5, 0.5, 0.5, 0.9, 0.5, 0.5});
  EXPECT_NEAR(y[0], 0.5, 1e-6);
  EXPECT_NEAR(y[1], 0.5, 1e-6);
}

TEST(channel_mix_test, averages_all_but_the_lfe_into_mono) {
  const auto y = Mix(6, 1, {0.1, 0.2, 0.3, 1.0, 0.4, 0.5});
  EXPECT_NEAR(y[0], 0.3, 1e-6);
  EXPECT_NEAR(Mix(4, 1, {1, 2, 3, 4})[0], 2.5, 1e-6);
}

TEST(channel_mix_test, copies_channels_up_and_folds_them_down_otherwise) {
  EXPECT_EQ(Mix(2, 4, {0.5, -0.5}), (std::vector<double>{0.5, -0.5, 0, 0}));
  // 6 to 4: outputs 0 and 1 average channels 0,4 and 1,5; 2 and 3 take 2 and 3 alone.
  EXPECT_EQ(Mix(6, 4, {1, 2, 3, 4, 5, 6}), (std::vector<double>{3, 4, 3, 4}));
  const auto folded = Mix(12, 2, std::vector<double>(12, 0.25));
  ASSERT_EQ(folded.size(), 2u);
  for (double v : folded) EXPECT_NEAR(v, 0.25, 1e-15);
}

}  // namespace
}  // namespace tb::pcm
