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
  EXPECT_EQ(ScaleDown64(0xFFFFFFFFu, 0.25f), 0x3FFFFFFFCull);
  EXPECT_EQ(ScaleUp64(0xFFFFFFFFu, 4.0f), 0x3FFFFFFFCull);
  EXPECT_EQ(ScaleUp64(7, 0.5f), 3u);
  // A ratio that is no positive number answers 0 rather than dividing by it.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (float ratio : {0.0f, -1.0f, nan}) {
    EXPECT_EQ(ScaleDown32(100, ratio), 0u);
    EXPECT_EQ(ScaleDown64(100, ratio), 0u);
    EXPECT_EQ(ScaleUp64(100, ratio), 0u);
  }
  EXPECT_EQ(ScaleUp64(100, inf), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(ScaleDown32(100, inf), 0u);
  EXPECT_EQ(ScaleDown64(0xFFFFFFFFu, 1e-30f), std::numeric_limits<uint64_t>::max());
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
