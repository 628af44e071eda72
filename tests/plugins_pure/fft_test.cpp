#include "plugins/pcm/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>

namespace tb::pcm {
namespace {

using Complex = std::complex<double>;

// 16-byte aligned interleaved storage, as the transforms want it.
struct Buffer {
  explicit Buffer(size_t n) : storage(2 * n + 2) {
    data = storage.data();
    if (reinterpret_cast<uintptr_t>(data) & 15) ++data;
  }
  Complex at(size_t i) const { return {data[2 * i], data[2 * i + 1]}; }
  std::vector<double> storage;
  double* data;
};

TEST(fft_test, knows_the_sizes_it_transforms) {
  for (size_t n : {4, 8, 12, 20, 28, 36, 1024, 4704, 9408, 10240, 3 * 5 * 7 * 49 * 4}) {
    EXPECT_TRUE(Fft::Supported(n)) << n;
  }
  for (size_t n : {0, 1, 2, 3, 6, 7, 10, 21, 22, 44, 4 * 11, 4 * 13 * 7}) {
    EXPECT_FALSE(Fft::Supported(n)) << n;
  }
}

// Each size against the sum that defines the transform, bin by bin where BinIndex says,
// and back: Inverse after Forward gives the input times the size.
TEST(fft_test, matches_the_direct_sum_and_inverts_at_mixed_sizes) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  const double kPi = 3.14159265358979323846;
  for (size_t n : {4, 8, 12, 16, 20, 28, 36, 48, 60, 84, 140, 196, 252, 420, 2352, 2560}) {
    const Fft fft(n);
    Buffer in(n), out(n);
    for (size_t i = 0; i < 2 * n; ++i) in.data[i] = value(random);
    fft.Forward(in.data, out.data);
    double worst = 0;
    for (size_t k = 0; k < n; ++k) {
      Complex sum = 0;
      for (size_t t = 0; t < n; ++t) {
        sum += in.at(t) * std::polar(1.0, -2 * kPi * static_cast<double>((t * k) % n) / n);
      }
      worst = std::max(worst, std::abs(out.at(fft.BinIndex(k)) - sum));
    }
    EXPECT_LT(worst, 1e-12 * static_cast<double>(n)) << n;
    fft.Inverse(out.data);
    worst = 0;
    for (size_t t = 0; t < n; ++t) {
      worst = std::max(worst, std::abs(out.at(t) / static_cast<double>(n) - in.at(t)));
    }
    EXPECT_LT(worst, 1e-14 * std::log2(static_cast<double>(n))) << n;
  }
}

}  // namespace
}  // namespace tb::pcm
