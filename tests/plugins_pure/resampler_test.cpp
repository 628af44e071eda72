#include "plugins/pcm/resampler.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/plugins_pure/signal_util.h"

namespace tb::pcm {
namespace {

using test::Db;
using test::FitTone;
using test::Sine;

std::unique_ptr<Resampler> Make(int32_t in, int32_t out, int32_t channels = 1) {
  std::string error;
  auto r = Resampler::Create(in, out, channels, &error);
  EXPECT_TRUE(r) << error;
  return r;
}

// The whole stream through one Process and a Flush.
std::vector<double> ResampleAll(Resampler* r, const std::vector<double>& in) {
  std::vector<double> out;
  r->Process(in.data(), in.size() / r->channels(), &out);
  r->Flush(&out);
  return out;
}

// A tone of `amplitude` at `freq` through the resampler: the fit of that tone to the
// output, away from the stream's ends.
test::ToneFit ResampledTone(int32_t in, int32_t out, double freq, double amplitude,
                            double seconds = 0.5) {
  auto r = Make(in, out);
  const auto y = ResampleAll(r.get(), Sine(freq, in, amplitude, static_cast<size_t>(in * seconds)));
  const size_t guard = static_cast<size_t>(out) / 50;
  return FitTone(y, 1, 0, freq, out, guard, y.size() - guard);
}

const std::pair<int32_t, int32_t> kCommonRates[] = {
    {44100, 48000}, {48000, 44100}, {96000, 44100}, {44100, 96000}, {8000, 48000},
    {22050, 44100}, {48000, 96000}, {11025, 44100}, {192000, 44100}};

TEST(resampler_test, keeps_a_1khz_sine_150_db_clean_at_the_common_rates) {
  for (const auto& [in, out] : kCommonRates) {
    const double sinad = ResampledTone(in, out, 1000, 0.891).Sinad();
    EXPECT_GE(sinad, 150.0) << in << " -> " << out;
    std::printf("%d -> %d Hz: SINAD %.1f dB\n", in, out, sinad);
  }
  // 44100:47999 reduces to 6300:6857, beyond the exact tables: rows are interpolated.
  EXPECT_GE(ResampledTone(44100, 47999, 1000, 0.891).Sinad(), 145.0);
  EXPECT_GE(ResampledTone(47999, 44100, 1000, 0.891).Sinad(), 145.0);
  EXPECT_GE(ResampledTone(8000, 384000, 440, 0.891).Sinad(), 145.0);
  EXPECT_GE(ResampledTone(384000, 22050, 440, 0.891, 0.25).Sinad(), 145.0);
}

TEST(resampler_test, passes_the_band_within_a_hundredth_of_a_db_up_to_the_pass_edge) {
  for (const auto& [in, out] : kCommonRates) {
    const double low = std::min(in, out);
    // At 44.1 kHz the edge is 20.5 kHz, 0.93 of the Nyquist frequency.
    for (double part : {0.05, 0.5, 0.8, Resampler::kPassEdge}) {
      const double freq = part * low / 2;
      const auto fit = ResampledTone(in, out, freq, 0.5, 0.25);
      EXPECT_NEAR(Db(fit.amplitude / 0.5), 0.0, 0.01) << in << " -> " << out << " at " << freq;
      // Images or aliases of a tone high in the band are the residue here.
      EXPECT_GE(fit.Sinad(), 140.0) << in << " -> " << out << " at " << freq;
    }
  }
}

TEST(resampler_test, folds_no_tone_from_above_the_lower_nyquist_back_into_the_band) {
  for (const auto& [in, out] : {std::make_pair(96000, 44100), std::make_pair(48000, 44100),
                                std::make_pair(192000, 44100)}) {
    for (double freq : {22050.0, 22100.0, 23000.0, 30000.0, 47000.0}) {
      if (freq >= in / 2) continue;
      auto r = Make(in, out);
      const auto y = ResampleAll(r.get(), Sine(freq, in, 1.0, in / 4));
      const size_t guard = static_cast<size_t>(out) / 50;
      const double level = Db(test::Rms(y, 1, 0, guard, y.size() - guard) / std::sqrt(0.5));
      EXPECT_LE(level, -140.0) << in << " -> " << out << ": " << freq << " Hz at " << level;
    }
  }
}

TEST(resampler_test, gives_each_block_exactly_the_frames_due_after_a_fixed_latency) {
  std::mt19937 rng(5);
  for (const auto& [in, out] : kCommonRates) {
    auto r = Make(in, out, 2);
    const std::vector<double> silence(2 * 20000, 0.0);
    std::vector<double> got;
    for (size_t n : test::RandomSplit(20000, 5000, &rng)) {
      got.clear();
      const uint64_t before = r->input_frames();
      r->Process(silence.data(), n, &got);
      ASSERT_EQ(r->output_frames(), r->DueOutput(r->input_frames())) << in << " -> " << out;
      ASSERT_EQ(got.size() / 2, r->DueOutput(before + n) - r->DueOutput(before));
    }
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
    const size_t guard = static_cast<size_t>(rates.second) / 50;
    for (size_t n = guard; n + guard < y.size(); ++n) {
      worst = std::max(worst, std::fabs(y[n] - want[n]));
    }
    EXPECT_LT(worst, 1e-7) << rates.first << " -> " << rates.second;
  }
}

TEST(resampler_test, gives_ceil_of_input_times_ratio_frames_in_total) {
  for (auto rates :
       {std::make_pair(44100, 48000), std::make_pair(48000, 44100), std::make_pair(44100, 47999),
        std::make_pair(8000, 44100), std::make_pair(192000, 8000)}) {
    for (size_t frames : {size_t{0}, size_t{1}, size_t{7}, size_t{1000}, size_t{44101}}) {
      auto r = Make(rates.first, rates.second, 2);
      const auto y = ResampleAll(r.get(), std::vector<double>(frames * 2, 0.25));
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
      std::vector<double> in(30000 * channels);
      std::uniform_real_distribution<double> noise(-1, 1);
      for (auto& s : in) s = noise(rng);
      auto whole = Make(rates.first, rates.second, channels);
      std::vector<double> expected;
      whole->Process(in.data(), 30000, &expected);
      whole->Flush(&expected);

      auto split = Make(rates.first, rates.second, channels);
      std::vector<double> got;
      size_t at = 0;
      for (size_t n : test::RandomSplit(30000, 9000, &rng)) {
        split->Process(in.data() + at * channels, n, &got);
        at += n;
      }
      split->Flush(&got);
      // Each transform block is whole whatever the split, so the output is the same bit
      // for bit.
      EXPECT_EQ(got, expected) << rates.first << " -> " << rates.second << ", " << channels;
      // The flushed resampler starts over: a second run matches the first.
      std::vector<double> again;
      split->Process(in.data(), 30000, &again);
      split->Flush(&again);
      EXPECT_EQ(again, expected);
    }
  }
}

TEST(resampler_test, keeps_the_channels_apart) {
  auto r = Make(44100, 48000, 3);
  std::vector<double> in(3 * 4410);
  for (size_t n = 0; n < 4410; ++n) {
    in[3 * n] = 0.5;
    in[3 * n + 1] = 0;
    in[3 * n + 2] = -0.25;
  }
  const auto y = ResampleAll(r.get(), in);
  for (size_t n = 1000; n + 1000 < y.size() / 3; ++n) {
    ASSERT_NEAR(y[3 * n], 0.5, 1e-9);
    // The pair's two channels share one transform: what crosses over is rounding.
    ASSERT_LE(std::fabs(y[3 * n + 1]), 1e-15);
    ASSERT_NEAR(y[3 * n + 2], -0.25, 1e-9);
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
  // 1000:3 would need an output block of half a million frames: two stages instead.
  auto r = Resampler::Create(3000, 1000000, 1, &error);
  ASSERT_TRUE(r) << error;
  EXPECT_NE(r->taps(), 0u);
}

}  // namespace
}  // namespace tb::pcm
