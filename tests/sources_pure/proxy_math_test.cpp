#include "sources/proxy_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tb {
namespace {

TEST(proxy_math_test, bytes_per_second_truncates_bits_and_refuses_what_is_no_audio) {
  EXPECT_EQ(BytesPerSecond(44100, 16, 2), 176400);
  EXPECT_EQ(BytesPerSecond(8000, 12, 1), 8000);  // 12 bits count as one byte
  EXPECT_EQ(BytesPerSecond(44100, 7, 2), 0);
  EXPECT_EQ(BytesPerSecond(0, 16, 2), 0);
  EXPECT_EQ(BytesPerSecond(44100, 16, 0), 0);
  EXPECT_EQ(BytesPerSecond(-44100, 16, -2), 0);
  EXPECT_EQ(BytesPerSecond(44100, -16, -2), 0);
  // Beyond 32 bits the product would overflow; that is no format either.
  EXPECT_EQ(BytesPerSecond(0x7FFFFFFF, 32, 2), 0);
  EXPECT_EQ(BytesPerSecond(1, 0x7FFFFFF8, 0x7FFFFFFF), 0);
  EXPECT_EQ(BytesPerSecond(0x7FFFFFFF, 8, 1), 0x7FFFFFFF);
}

TEST(proxy_math_test, ratios_need_two_positive_values) {
  EXPECT_FLOAT_EQ(FormatRatio(44100, 88200), 0.5f);
  EXPECT_FLOAT_EQ(FormatRatio(176400, 176400), 1.0f);
  EXPECT_EQ(FormatRatio(0, 44100), 0.0f);
  EXPECT_EQ(FormatRatio(44100, 0), 0.0f);
  EXPECT_EQ(FormatRatio(-1, 44100), 0.0f);
}

TEST(proxy_math_test, scaling_truncates_and_saturates) {
  EXPECT_EQ(ScaleDown32(100, 0.5f), 200u);
  EXPECT_EQ(ScaleDown32(99, 2.0f), 49u);
  EXPECT_EQ(ScaleDown32(0xFFFFFFFFu, 0.25f), 0xFFFFFFFFu);  // would need 34 bits
  // A ratio that is no positive number answers 0 rather than dividing by it.
  for (float ratio : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
    EXPECT_EQ(ScaleDown32(100, ratio), 0u);
  }
  EXPECT_EQ(ScaleDown32(100, std::numeric_limits<float>::infinity()), 0u);
}

TEST(proxy_math_test, frames_scale_exactly_in_integers) {
  struct Case {
    uint64_t frames;
    int32_t from, to;
    uint64_t up, down;
  };
  const uint64_t max = std::numeric_limits<uint64_t>::max();
  const Case cases[] = {
      {441000, 44100, 48000, 480000, 480000},
      {440999, 44100, 48000, 479999, 479998},  // a float ratio got these wrong
      {529, 44100, 8000, 96, 95},              // 12 ms
      {158760000, 44100, 48000, 172800000, 172800000},
      {44101, 44100, 48000, 48002, 48001},
      {1, 96000, 44100, 1, 0},
      {0, 44100, 48000, 0, 0},
      {0x100000010ull, 44100, 88200, 0x200000020ull, 0x200000020ull},  // beyond 32 bits
      {max, 1, 2, max, max},                                           // saturates
      {max, 3, 2, max / 3 * 2, max / 3 * 2},                           // no overflow inside
      {10, 3, 2, 7, 6},
      {100, 0, 48000, 0, 0},
      {100, 48000, -1, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScaleFramesUp(c.frames, c.from, c.to), c.up) << c.frames << " " << c.from;
    EXPECT_EQ(ScaleFramesDown(c.frames, c.from, c.to), c.down) << c.frames << " " << c.from;
  }
}

TEST(proxy_math_test, stream_count_owes_what_the_whole_input_gives) {
  StreamCount count(4, 44100, 6, 48000);  // 16-bit stereo to 16-bit three channels
  count.AddInput(4 * 441 + 3);            // a partial frame counts for nothing yet
  EXPECT_EQ(count.input_frames(), 441u);
  EXPECT_EQ(count.Owed(), 480u);
  count.AddOutput(6 * 470);
  EXPECT_EQ(count.Owed(), 10u);
  count.AddInput(1);  // the frame completes: ceil(442 x 48000 / 44100) = 482
  EXPECT_EQ(count.Owed(), 12u);
  count.AddOutput(6 * 20);  // more than owed: nothing is owed, nothing wraps
  EXPECT_EQ(count.Owed(), 0u);
  count.Reset();
  EXPECT_EQ(count.output_frames(), 0u);
  EXPECT_EQ(StreamCount().Owed(), 0u);  // no formats: nothing to count
}

TEST(proxy_math_test, sample_positions_scale_by_the_rates_or_give_none) {
  EXPECT_EQ(ScaleSamplePosition(1000, 44100, 88200), 2000);
  EXPECT_EQ(ScaleSamplePosition(1000, 88200, 44100), 500);
  EXPECT_EQ(ScaleSamplePosition(-7, 44100, 88200), -14);
  EXPECT_EQ(ScaleSamplePosition(1000, 0, 44100), -1);
  EXPECT_EQ(ScaleSamplePosition(1000, 44100, 0), -1);
  EXPECT_EQ(ScaleSamplePosition(0x7FFFFFFF, 1, 1000), 0x7FFFFFFF);
  EXPECT_EQ(ScaleSamplePosition(-0x7FFFFFFF - 1, 1, 1000), -0x7FFFFFFF - 1);
}

TEST(proxy_math_test, converting_read_size_keeps_the_reserve_the_cap_and_the_blocks) {
  EXPECT_EQ(ConvertingReadSize(39, 1.0f), 12u);  // below 16: the caller refuses it
  EXPECT_EQ(ConvertingReadSize(40, 1.0f), 24u);
  EXPECT_EQ(ConvertingReadSize(16, 1.0f), 0u);
  EXPECT_EQ(ConvertingReadSize(15, 1.0f), 0u);  // no wrap below the reserve
  EXPECT_EQ(ConvertingReadSize(0, 1.0f), 0u);
  EXPECT_EQ(ConvertingReadSize(316, 4.0f), 1200u);
  EXPECT_EQ(ConvertingReadSize(100, 0.5f), 36u);
  EXPECT_EQ(ConvertingReadSize(0xFFFFFFFFu, 1.0f), kConversionBufferSize);
  EXPECT_EQ(ConvertingReadSize(0xFFFFFFFFu, 1e30f), kConversionBufferSize);
  EXPECT_EQ(kConversionBufferSize % kReadGranule, 0u);
  // Large target frames keep room for two of them: 6 channels of 24 bits.
  EXPECT_EQ(ConvertingReadSize(40, 1.0f, 4), 24u);
  EXPECT_EQ(ConvertingReadSize(136, 1.0f, 18), 96u);
  EXPECT_EQ(ConvertingReadSize(35, 1.0f, 18), 0u);
  EXPECT_EQ(ConvertingReadSize(1000, 0.0f), 0u);
  EXPECT_EQ(ConvertingReadSize(1000, std::numeric_limits<float>::quiet_NaN()), 0u);
}

TEST(proxy_math_test, block_align_is_sign_extended) {
  EXPECT_EQ(BlockAlign(16, 2), 4u);
  EXPECT_EQ(BlockAlign(12, 3), 3u);
  EXPECT_EQ(BlockAlign(16, -2), static_cast<uint64_t>(-4));
  EXPECT_EQ(BlockAlign(0x7FFFFFFF, 0x7FFFFFFF),
            static_cast<uint64_t>(static_cast<int64_t>(0x7FFFFFFF / 8) * 0x7FFFFFFF));
}

}  // namespace
}  // namespace tb
