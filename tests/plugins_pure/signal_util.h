// Test signals and their measurement, shared by the resampler and converter tests.
#ifndef TB_TESTS_PLUGINS_PURE_SIGNAL_UTIL_H
#define TB_TESTS_PLUGINS_PURE_SIGNAL_UTIL_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace tb::test {

const double kPi = 3.14159265358979323846;

/// `frames` frames of a sine of `amplitude` at `freq` Hz, the same in every channel.
inline std::vector<double> Sine(double freq, double rate, double amplitude, size_t frames,
                                int channels = 1) {
  std::vector<double> v(frames * static_cast<size_t>(channels));
  for (size_t n = 0; n < frames; ++n) {
    const double s = amplitude * std::sin(2 * kPi * freq * n / rate);
    for (int c = 0; c < channels; ++c) v[n * channels + c] = s;
  }
  return v;
}

/// A least-squares fit of a + b sin + c cos at `freq` to channel `channel` of the frames
/// [begin, end), with the power of the sine and of what is left.
struct ToneFit {
  double amplitude = 0;
  double phase = 0;  ///< of a sine: amplitude sin(w n + phase)
  double signalPower = 0;
  double residualPower = 0;
  /// Signal to noise and distortion in dB.
  double Sinad() const { return 10 * std::log10(signalPower / residualPower); }
};

inline ToneFit FitTone(const std::vector<double>& x, int channels, int channel, double freq,
                       double rate, size_t begin, size_t end) {
  double m[3][4] = {};
  const double w = 2 * kPi * freq / rate;
  for (size_t n = begin; n < end; ++n) {
    const double basis[3] = {1.0, std::sin(w * n), std::cos(w * n)};
    const double y = x[n * channels + channel];
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) m[i][j] += basis[i] * basis[j];
      m[i][3] += basis[i] * y;
    }
  }
  // Gauss-Jordan on the 3x4 normal equations.
  for (int i = 0; i < 3; ++i) {
    int p = i;
    for (int r = i + 1; r < 3; ++r)
      if (std::fabs(m[r][i]) > std::fabs(m[p][i])) p = r;
    for (int k = 0; k < 4; ++k) std::swap(m[i][k], m[p][k]);
    for (int r = 0; r < 3; ++r) {
      if (r == i) continue;
      const double f = m[r][i] / m[i][i];
      for (int k = 0; k < 4; ++k) m[r][k] -= f * m[i][k];
    }
  }
  const double a = m[0][3] / m[0][0], b = m[1][3] / m[1][1], c = m[2][3] / m[2][2];
  ToneFit fit;
  fit.amplitude = std::sqrt(b * b + c * c);
  fit.phase = std::atan2(c, b);
  fit.signalPower = (b * b + c * c) / 2;
  double res = 0;
  for (size_t n = begin; n < end; ++n) {
    const double e = x[n * channels + channel] - (a + b * std::sin(w * n) + c * std::cos(w * n));
    res += e * e;
  }
  fit.residualPower = res / static_cast<double>(end - begin);
  return fit;
}

/// Root mean square of channel `channel` over frames [begin, end).
inline double Rms(const std::vector<double>& x, int channels, int channel, size_t begin,
                  size_t end) {
  double s = 0;
  for (size_t n = begin; n < end; ++n) s += x[n * channels + channel] * x[n * channels + channel];
  return std::sqrt(s / static_cast<double>(end - begin));
}

inline double Db(double ratio) { return 20 * std::log10(ratio); }

/// Whether two sample streams have the same length and differ nowhere by more than `most`.
inline bool Close(const std::vector<double>& a, const std::vector<double>& b, double most) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::fabs(a[i] - b[i]) > most) return false;
  }
  return true;
}

/// Block sizes from `rng` (1 to `largest`) that add up to `total`.
inline std::vector<size_t> RandomSplit(size_t total, size_t largest, std::mt19937* rng) {
  std::vector<size_t> sizes;
  std::uniform_int_distribution<size_t> pick(1, largest);
  while (total > 0) {
    const size_t n = std::min(total, pick(*rng));
    sizes.push_back(n);
    total -= n;
  }
  return sizes;
}

}  // namespace tb::test

#endif  // TB_TESTS_PLUGINS_PURE_SIGNAL_UTIL_H
