#include "plugins/pcm/resampler.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/plugins_pure/signal_util.h"

namespace tb::pcm {
namespace {

using test::Db;
using test::FitTone;
using test::Sine;
using test::ToDouble;

std::unique_ptr<Resampler> Make(int32_t in, int32_t out, int32_t channels = 1) {
  std::string error;
  auto r = Resampler::Create(in, out, channels, &error);
  EXPECT_TRUE(r) << error;
  return r;
}

// The whole stream through one Process and a Flush.
std::vector<double> ResampleAll(Resampler* r, const std::vector<float>& in) {
  std::vector<float> out;
  r->Process(in.data(), in.size() / r->channels(), &out);
  r->Flush(&out);
  return ToDouble(out);
}

// SINAD of a -1 dBFS 1 kHz sine, measured away from the stream's ends.
double SineSinad(int32_t in, int32_t out, double freq = 1000) {
  auto r = Make(in, out);
  const auto y = ResampleAll(r.get(), Sine(freq, in, 0.891, static_cast<size_t>(in)));
  const size_t guard = r->taps() * out / in + 16;
  const auto fit = FitTone(y, 1, 0, freq, out, guard, y.size() - guard);
  std::printf("%d -> %d Hz, %.0f Hz tone: SINAD %.1f dB (%zu taps, %zu phases%s)\n", in, out, freq,
              fit.Sinad(), r->taps(), r->phases(), r->exact() ? "" : ", interpolated");
  return fit.Sinad();
}

TEST(resampler_test, keeps_a_1khz_sine_clean_both_ways_between_44100_and_48000) {
  EXPECT_GE(SineSinad(44100, 48000), 115.0);
  EXPECT_GE(SineSinad(48000, 44100), 115.0);
}

TEST(resampler_test, keeps_a_sine_clean_at_ratios_without_a_small_fraction) {
  // 44100:47999 reduces to 6300:6857, beyond the exact tables: rows are interpolated.
  EXPECT_GE(SineSinad(44100, 47999), 110.0);
  EXPECT_GE(SineSinad(47999, 44100), 110.0);
  EXPECT_GE(SineSinad(8000, 384000, 440), 110.0);
  EXPECT_GE(SineSinad(384000, 22050, 440), 110.0);
}

TEST(resampler_test, passes_the_band_up_to_nine_tenths_of_the_lower_nyquist_flat) {
  for (auto rates : {std::make_pair(44100, 48000), std::make_pair(48000, 44100),
                     std::make_pair(96000, 44100), std::make_pair(44100, 47999)}) {
    const int32_t low = std::min(rates.first, rates.second);
    for (double freq : {100.0, 0.5 * 0.45 * low, 0.45 * low}) {
      auto r = Make(rates.first, rates.second);
      const auto y = ResampleAll(r.get(), Sine(freq, rates.first, 0.5, rates.first / 2));
      const size_t guard = r->taps() * rates.second / rates.first + 16;
      const auto fit = FitTone(y, 1, 0, freq, rates.second, guard, y.size() - guard);
      EXPECT_NEAR(Db(fit.amplitude / 0.5), 0.0, 0.001)
          << rates.first << " -> " << rates.second << " at " << freq << " Hz";
      // Images or aliases of a tone at the top of the band are the residue here.
      EXPECT_GE(fit.Sinad(), 110.0) << rates.first << " -> " << rates.second << " at " << freq;
      std::printf("%d -> %d Hz, %.0f Hz tone: gain %+.6f dB, SINAD %.1f dB\n", rates.first,
                  rates.second, freq, Db(fit.amplitude / 0.5), fit.Sinad());
    }
  }
}

TEST(resampler_test, suppresses_tones_above_the_lower_nyquist_when_going_down) {
  for (double freq : {22100.0, 23000.0, 30000.0, 47000.0}) {
    auto r = Make(96000, 44100);
    const auto y = ResampleAll(r.get(), Sine(freq, 96000, 1.0, 96000 / 2));
    const size_t guard = r->taps() + 16;
    const double level = Db(test::Rms(y, 1, 0, guard, y.size() - guard) / std::sqrt(0.5));
    EXPECT_LE(level, -110.0) << freq << " Hz comes through at " << level << " dB";
    std::printf("96000 -> 44100 Hz, %.0f Hz tone: %.1f dB\n", freq, level);
  }
}

TEST(resampler_test, places_output_frame_n_at_input_time_n_times_the_rate_ratio) {
  // No delay: the output of a slow sine is that sine sampled at the new rate.
  for (auto rates :
       {std::make_pair(44100, 48000), std::make_pair(48000, 44100), std::make_pair(44100, 47999)}) {
    auto r = Make(rates.first, rates.second);
    const auto y = ResampleAll(r.get(), Sine(440, rates.first, 0.5, rates.first / 4));
    const auto want = Sine(440, rates.second, 0.5, y.size());
    double worst = 0;
    for (size_t n = r->taps(); n + r->taps() < y.size(); ++n) {
      worst = std::max(worst, std::fabs(y[n] - want[n]));
    }
    EXPECT_LT(worst, 1e-5) << rates.first << " -> " << rates.second;
  }
}

TEST(resampler_test, gives_ceil_of_input_times_ratio_frames_in_total) {
  for (auto rates :
       {std::make_pair(44100, 48000), std::make_pair(48000, 44100), std::make_pair(44100, 47999),
        std::make_pair(8000, 44100), std::make_pair(192000, 8000)}) {
    for (size_t frames : {size_t{0}, size_t{1}, size_t{7}, size_t{1000}, size_t{44101}}) {
      auto r = Make(rates.first, rates.second, 2);
      const auto y = ResampleAll(r.get(), std::vector<float>(frames * 2, 0.25f));
      const uint64_t want = (frames * uint64_t(rates.second) + rates.first - 1) / rates.first;
      EXPECT_EQ(y.size() / 2, want) << rates.first << " -> " << rates.second << ", " << frames;
      EXPECT_EQ(r->input_frames(), 0u);  // flushed: a new stream
    }
  }
}

TEST(resampler_test, gives_the_same_output_whatever_the_split_of_the_input) {
  std::mt19937 rng(7);
  for (auto rates : {std::make_pair(44100, 48000), std::make_pair(48000, 44100),
                     std::make_pair(44100, 47999), std::make_pair(11025, 96000)}) {
    for (int channels : {1, 2, 3}) {
      std::vector<float> in(30000 * channels);
      std::uniform_real_distribution<float> noise(-1, 1);
      for (auto& s : in) s = noise(rng);
      auto whole = Make(rates.first, rates.second, channels);
      std::vector<float> expected;
      whole->Process(in.data(), 30000, &expected);
      whole->Flush(&expected);

      auto split = Make(rates.first, rates.second, channels);
      std::vector<float> got;
      size_t at = 0;
      for (size_t n : test::RandomSplit(30000, 9000, &rng)) {
        split->Process(in.data() + at * channels, n, &got);
        at += n;
      }
      split->Flush(&got);
      ASSERT_EQ(got.size(), expected.size());
      EXPECT_TRUE(got == expected) << rates.first << " -> " << rates.second << ", " << channels;
      // The flushed resampler starts over: a second run matches the first.
      std::vector<float> again;
      split->Process(in.data(), 30000, &again);
      split->Flush(&again);
      EXPECT_TRUE(again == expected);
    }
  }
}

TEST(resampler_test, keeps_the_channels_apart) {
  auto r = Make(44100, 48000, 3);
  std::vector<float> in(3 * 4410);
  for (size_t n = 0; n < 4410; ++n) {
    in[3 * n] = 0.5f;
    in[3 * n + 1] = 0;
    in[3 * n + 2] = -0.25f;
  }
  const auto y = ResampleAll(r.get(), in);
  for (size_t n = r->taps(); n + r->taps() < y.size() / 3; ++n) {
    ASSERT_NEAR(y[3 * n], 0.5, 1e-6);
    ASSERT_EQ(y[3 * n + 1], 0.0);
    ASSERT_NEAR(y[3 * n + 2], -0.25, 1e-6);
  }
}

TEST(resampler_test, refuses_equal_rates_out_of_range_rates_and_extreme_ratios) {
  std::string error;
  EXPECT_FALSE(Resampler::Create(44100, 44100, 2, &error));
  EXPECT_FALSE(Resampler::Create(0, 44100, 2, &error));
  EXPECT_FALSE(Resampler::Create(44100, 1000001, 2, &error));
  EXPECT_FALSE(Resampler::Create(44100, 48000, 0, &error));
  error.clear();
  EXPECT_FALSE(Resampler::Create(1000000, 100, 2, &error));
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
  EXPECT_TRUE(Resampler::Create(384000, 8000, 2, &error)) << error;
  EXPECT_TRUE(Resampler::Create(1, 1000000, 1, &error)) << error;
}

}  // namespace
}  // namespace tb::pcm
