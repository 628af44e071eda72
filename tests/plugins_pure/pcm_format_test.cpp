#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "plugins/pcm/format.h"

namespace tb::pcm {
namespace {

std::vector<uint8_t> RoundTrip(int32_t bits, const std::vector<uint8_t>& bytes) {
  const size_t samples = bytes.size() / static_cast<size_t>(bits / 8);
  std::vector<double> f(samples);
  DecodeSamples(bits, bytes.data(), samples, f.data());
  std::vector<uint8_t> back(bytes.size());
  EncodeSamples(bits, f.data(), samples, back.data());
  return back;
}

TEST(pcm_format_test, round_trips_every_value_of_8_16_and_24_bits_exactly) {
  for (int32_t bits : {8, 16, 24}) {
    const size_t width = static_cast<size_t>(bits / 8);
    const uint32_t values = bits == 24 ? (1u << 24) : (1u << bits);
    std::vector<uint8_t> bytes(values * width);
    for (uint32_t v = 0; v < values; ++v) {
      for (size_t b = 0; b < width; ++b) bytes[v * width + b] = static_cast<uint8_t>(v >> (8 * b));
    }
    EXPECT_TRUE(RoundTrip(bits, bytes) == bytes) << bits << " bits";
  }
}

TEST(pcm_format_test, decodes_full_scale_to_plus_minus_one) {
  const uint8_t u8[] = {0x00, 0x80, 0xFF};
  const uint8_t s24[] = {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F};
  const uint8_t s32[] = {0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x40};
  double f[3];
  DecodeSamples(8, u8, 3, f);
  EXPECT_EQ(f[0], -1.0f);
  EXPECT_EQ(f[1], 0.0f);
  EXPECT_EQ(f[2], 127.0f / 128);
  DecodeSamples(24, s24, 2, f);
  EXPECT_EQ(f[0], -1.0f);
  EXPECT_EQ(f[1], 8388607.0f / 8388608);
  DecodeSamples(32, s32, 2, f);
  EXPECT_EQ(f[0], -1.0f);
  EXPECT_EQ(f[1], 0.5f);
}

TEST(pcm_format_test, rounds_to_nearest_and_clips_on_output) {
  const double in[] = {1.0f,          -1.0f,          2.5f,
                       -7.0f,         0.5f / 32768,   -0.5f / 32768,
                       1.49f / 32768, -1.51f / 32768, std::numeric_limits<double>::quiet_NaN()};
  int16_t out[9];
  uint8_t bytes[18];
  EncodeSamples(16, in, 9, bytes);
  for (int i = 0; i < 9; ++i) out[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], -32768);
  EXPECT_EQ(out[2], 32767);
  EXPECT_EQ(out[3], -32768);
  EXPECT_EQ(out[4], 1);  // halves round upwards
  EXPECT_EQ(out[5], 0);
  EXPECT_EQ(out[6], 1);
  EXPECT_EQ(out[7], -2);
  EXPECT_EQ(out[8], -32768);  // not a number is silenced at the bottom rail, not undefined

  uint8_t wide[8];
  const double extremes[] = {1.0f, -1.5f};
  EncodeSamples(32, extremes, 2, wide);
  EXPECT_EQ(wide[0] | (wide[1] << 8) | (wide[2] << 16) | (uint32_t(wide[3]) << 24), 0x7FFFFFFFu);
  EXPECT_EQ(wide[4] | (wide[5] << 8) | (wide[6] << 16) | (uint32_t(wide[7]) << 24), 0x80000000u);
  uint8_t narrow[2];
  const double eight[] = {1.0f, -0.999f};
  EncodeSamples(8, eight, 2, narrow);
  EXPECT_EQ(narrow[0], 0xFF);
  EXPECT_EQ(narrow[1], 0x00);
}

TEST(pcm_format_test, round_trips_32_bit_samples_exactly) {
  std::vector<uint8_t> bytes;
  for (uint32_t v :
       {0x12345678u, 0x80000001u, 0x7FFFFF7Fu, 0x00000001u, 0x80000000u, 0x7FFFFFFFu}) {
    for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(v >> (8 * b)));
  }
  EXPECT_TRUE(RoundTrip(32, bytes) == bytes);
}

TEST(pcm_format_test, names_the_field_that_makes_a_format_unsupported) {
  std::string why;
  EXPECT_TRUE(IsSupported({44100, 16, 2}, &why));
  EXPECT_FALSE(IsSupported({44100, 20, 2}, &why));
  EXPECT_NE(why.find("sample size"), std::string::npos);
  EXPECT_FALSE(IsSupported({44100, 16, 0}, &why));
  EXPECT_NE(why.find("channel"), std::string::npos);
  EXPECT_FALSE(IsSupported({-1, 16, 2}, &why));
  EXPECT_NE(why.find("rate"), std::string::npos);
  EXPECT_EQ(FrameBytes({44100, 24, 6}), 18u);
}

}  // namespace
}  // namespace tb::pcm
