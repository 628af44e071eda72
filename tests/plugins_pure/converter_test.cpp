#include "plugins/pcm/converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "tests/plugins_pure/signal_util.h"

namespace tb::pcm {
namespace {

std::unique_ptr<Converter> Make(const Format& from, const Format& to, bool dither = true) {
  std::string error;
  ConvertOptions options;
  options.dither = dither;
  auto c = Converter::Create(from, to, &error, options);
  EXPECT_TRUE(c) << error;
  return c;
}

std::vector<uint8_t> Encode(const std::vector<double>& samples, int32_t bits) {
  std::vector<uint8_t> bytes(samples.size() * static_cast<size_t>(bits / 8));
  EncodeSamples(bits, samples.data(), samples.size(), bytes.data());
  return bytes;
}

std::vector<double> Decode(const std::vector<uint8_t>& bytes, int32_t bits) {
  std::vector<double> samples(bytes.size() / static_cast<size_t>(bits / 8));
  DecodeSamples(bits, bytes.data(), samples.size(), samples.data());
  return samples;
}

// Feeds `input` in blocks of the given sizes and flushes; every byte given back.
std::vector<uint8_t> Feed(Converter* c, const std::vector<uint8_t>& input,
                          const std::vector<size_t>& blocks) {
  std::vector<uint8_t> out;
  size_t at = 0;
  for (size_t n : blocks) {
    const size_t bound = c->MaxOutputSize(n);
    const size_t got = c->Convert(input.data() + at, n);
    EXPECT_LE(got, bound) << "block of " << n << " at " << at;
    EXPECT_EQ(got % FrameBytes(c->to()), 0u);
    out.insert(out.end(), c->data(), c->data() + got);
    at += n;
  }
  c->Flush();
  out.insert(out.end(), c->data(), c->data() + c->size());
  return out;
}

double ConvertedSineSinad(int32_t inRate, int32_t outRate, int32_t inBits, int32_t outBits,
                          int32_t channels, bool dither = true) {
  const Format from{inRate, inBits, channels}, to{outRate, outBits, channels};
  auto c = Make(from, to, dither);
  const auto input = Encode(test::Sine(1000, inRate, 0.891, inRate, channels), inBits);
  const auto y = Decode(Feed(c.get(), input, {input.size()}), outBits);
  const size_t frames = y.size() / channels;
  const size_t guard = 500;
  double worst = 1e9;
  for (int ch = 0; ch < channels; ++ch) {
    worst = std::min(worst,
                     test::FitTone(y, channels, ch, 1000, outRate, guard, frames - guard).Sinad());
  }
  std::printf("%d -> %d Hz, %d -> %d bits, %d channels: SINAD %.1f dB\n", inRate, outRate, inBits,
              outBits, channels, worst);
  return worst;
}

TEST(converter_test, keeps_a_1khz_sine_as_clean_as_two_roundings_allow_at_24_bits) {
  // Rounding the source and the result to 24 bits leaves 142.3 dB for a -1 dBFS sine.
  EXPECT_GE(ConvertedSineSinad(44100, 48000, 24, 24, 2), 141.5);
  EXPECT_GE(ConvertedSineSinad(48000, 44100, 24, 24, 2), 141.5);
  EXPECT_GE(ConvertedSineSinad(96000, 44100, 24, 24, 1), 141.5);
}

TEST(converter_test, keeps_a_1khz_sine_clean_at_16_bits_with_and_without_dither) {
  // Rounding to 16 bits alone leaves 97.1 dB for a -1 dBFS sine; dither triples the
  // noise power (92.3 dB).
  EXPECT_GE(ConvertedSineSinad(44100, 48000, 24, 16, 2), 92.0);
  EXPECT_GE(ConvertedSineSinad(48000, 44100, 24, 16, 1, false), 96.5);
  // A 16-bit source brings its own rounding noise, and no dither is added: two
  // roundings put the ceiling at about 94 dB.
  EXPECT_GE(ConvertedSineSinad(44100, 48000, 16, 16, 2), 93.0);
}

// The level of harmonics 2 to 5 of a 1 kHz tone at -70 dBFS taken from 24 to 16 bits,
// against the tone, in dB. Dither leaves no harmonics, only noise, so what a fit finds
// there is the noise in its band: the longer the measurement, the lower.
double QuietToneHarmonics(int32_t outRate, bool dither, int seconds) {
  const int32_t inRate = 44100;
  auto c = Make({inRate, 24, 1}, {outRate, 16, 1}, dither);
  const double amplitude = std::pow(10.0, -70.0 / 20);
  const auto input = Encode(test::Sine(1000, inRate, amplitude, seconds * inRate), 24);
  const auto y = Decode(Feed(c.get(), input, {input.size()}), 16);
  const auto tone = test::FitTone(y, 1, 0, 1000, outRate, 0, y.size());
  double worst = -1000;
  for (int k = 2; k <= 5; ++k) {
    const auto h = test::FitTone(y, 1, 0, 1000.0 * k, outRate, 0, y.size());
    worst = std::max(worst, test::Db(h.amplitude / tone.amplitude));
  }
  std::printf("-70 dBFS tone, 24 -> 16 bits at %d Hz, %s: harmonics up to %.1f dBc\n", outRate,
              dither ? "dithered" : "rounded", worst);
  return worst;
}

TEST(converter_test, dithers_a_quiet_tone_into_noise_without_harmonics) {
  EXPECT_LE(QuietToneHarmonics(44100, true, 30), -75.0);
  EXPECT_LE(QuietToneHarmonics(48000, true, 20), -75.0);
  // Without dither the rounding error follows the tone.
  EXPECT_GT(QuietToneHarmonics(44100, false, 2), -50.0);
}

TEST(converter_test, keeps_silence_digital_when_dithering) {
  auto c = Make({48000, 24, 2}, {44100, 16, 2});
  ASSERT_TRUE(c->dithers());
  // Silence, a short burst, then silence again.
  std::vector<double> samples(2 * 48000, 0.0);
  for (size_t n = 24000; n < 24480; ++n) samples[2 * n] = 0.25 * std::sin(0.1 * n);
  const auto input = Encode(samples, 24);
  const auto y = Decode(Feed(c.get(), input, {input.size() / 2, input.size() / 2}), 16);
  size_t nonzero = 0;
  for (size_t n = 0; n < y.size() / 2; ++n) {
    const bool burst = n >= 21800 && n < 22750;  // the burst and the filters' ringing
    if (!burst && (y[2 * n] != 0 || y[2 * n + 1] != 0)) ++nonzero;
  }
  EXPECT_EQ(nonzero, 0u);
  EXPECT_FALSE(Make({48000, 16, 2}, {44100, 24, 2})->dithers());
  EXPECT_FALSE(Make({48000, 24, 2}, {44100, 16, 2}, false)->dithers());
}

TEST(converter_test, gives_the_same_samples_for_any_split_of_the_stream) {
  std::mt19937 rng(11);
  const std::pair<Format, Format> cases[] = {
      {{44100, 16, 2}, {48000, 16, 2}},  // the usual case
      {{48000, 24, 2}, {44100, 16, 1}},  // down-mix before resampling
      {{22050, 8, 1}, {44100, 32, 2}},   // up-mix after it
      {{44100, 16, 6}, {44100, 24, 2}},  // no resampling, 12-byte frames
      {{32000, 24, 3}, {47999, 16, 5}},  // interpolated rows, odd frame sizes
  };
  for (const auto& [from, to] : cases) {
    std::vector<uint8_t> input(FrameBytes(from) * 20000 + 5);  // a partial frame at the end
    for (auto& b : input) b = static_cast<uint8_t>(rng());
    auto whole = Make(from, to);
    const auto expected = Feed(whole.get(), input, {input.size()});
    const size_t frames = (input.size() / FrameBytes(from));
    EXPECT_EQ(expected.size() / FrameBytes(to),
              (frames * uint64_t(to.sampleRate) + from.sampleRate - 1) / from.sampleRate);

    // The source side reads multiples of 12 bytes; other callers anything.
    std::vector<size_t> twelves;
    size_t left = input.size();
    std::uniform_int_distribution<size_t> pick(1, 400);
    while (left > 0) {
      twelves.push_back(std::min(left, 12 * pick(rng)));
      left -= twelves.back();
    }
    auto split = Make(from, to);
    EXPECT_EQ(Feed(split.get(), input, twelves), expected)
        << from.channels << " -> " << to.channels;
    for (size_t largest : {size_t{7}, size_t{50000}}) {
      EXPECT_EQ(Feed(split.get(), input, test::RandomSplit(input.size(), largest, &rng)), expected)
          << largest;
    }
  }
}

TEST(converter_test, changes_sample_width_exactly_when_no_resampling_is_needed) {
  const std::vector<uint8_t> in16 = {0x00, 0x80, 0xFF, 0x7F, 0x01, 0x00, 0xFF, 0xFF};
  auto widen = Make({44100, 16, 1}, {44100, 24, 1});
  ASSERT_EQ(widen->Convert(in16.data(), in16.size()), 12u);
  const std::vector<uint8_t> in24(widen->data(), widen->data() + 12);
  EXPECT_EQ(in24, (std::vector<uint8_t>{0x00, 0x00, 0x80, 0x00, 0xFF, 0x7F, 0x00, 0x01, 0x00, 0x00,
                                        0xFF, 0xFF}));
  auto narrow = Make({44100, 24, 1}, {44100, 8, 1});
  ASSERT_EQ(narrow->Convert(in24.data(), in24.size()), 4u);
  EXPECT_EQ(std::vector<uint8_t>(narrow->data(), narrow->data() + 4),
            (std::vector<uint8_t>{0x00, 0xFF, 0x80, 0x80}));
  EXPECT_EQ(narrow->Flush(), 0u);
}

TEST(converter_test, averages_stereo_into_mono_and_duplicates_mono_into_stereo) {
  const std::vector<uint8_t> stereo = {0x10, 0x00, 0x20, 0x00, 0x00, 0x80, 0x00, 0x80};
  auto down = Make({48000, 16, 2}, {48000, 16, 1});
  ASSERT_EQ(down->Convert(stereo.data(), stereo.size()), 4u);
  EXPECT_EQ(std::vector<uint8_t>(down->data(), down->data() + 4),
            (std::vector<uint8_t>{0x18, 0x00, 0x00, 0x80}));
  auto up = Make({48000, 16, 1}, {48000, 16, 2});
  ASSERT_EQ(up->Convert(stereo.data(), 4), 8u);
  EXPECT_EQ(std::vector<uint8_t>(up->data(), up->data() + 8),
            (std::vector<uint8_t>{0x10, 0x00, 0x10, 0x00, 0x20, 0x00, 0x20, 0x00}));
}

TEST(converter_test, carries_a_partial_frame_over_to_the_next_block) {
  auto c = Make({44100, 24, 2}, {44100, 16, 2});
  const std::vector<uint8_t> frame = {0x00, 0x01, 0x02, 0x00, 0xFE, 0xFD};
  EXPECT_EQ(c->Convert(frame.data(), 4), 0u);
  EXPECT_EQ(c->MaxOutputSize(2), 4u);
  ASSERT_EQ(c->Convert(frame.data() + 4, 2), 4u);
  EXPECT_EQ(std::vector<uint8_t>(c->data(), c->data() + 4),
            (std::vector<uint8_t>{0x01, 0x02, 0xFE, 0xFD}));
  // A partial frame left at the end of the stream is dropped, and the next stream is clean.
  EXPECT_EQ(c->Convert(frame.data(), 5), 0u);
  EXPECT_EQ(c->Flush(), 0u);
  EXPECT_EQ(c->Convert(frame.data(), 6), 4u);
}

TEST(converter_test, refuses_formats_it_cannot_convert) {
  std::string error;
  EXPECT_FALSE(Converter::Create({44100, 12, 2}, {48000, 16, 2}, &error));
  EXPECT_NE(error.find("source format"), std::string::npos) << error;
  EXPECT_FALSE(Converter::Create({44100, 16, 2}, {48000, 16, 0}, &error));
  EXPECT_NE(error.find("target format"), std::string::npos) << error;
  EXPECT_FALSE(Converter::Create({44100, 16, 2}, {0, 16, 2}, &error));
  EXPECT_FALSE(Converter::Create({44100, 16, 257}, {44100, 16, 2}, &error));
  EXPECT_FALSE(Converter::Create({1000000, 16, 2}, {100, 16, 2}, &error));
  EXPECT_TRUE(Converter::Create({44100, 16, 2}, {44100, 16, 2}, &error));
}

}  // namespace
}  // namespace tb::pcm
