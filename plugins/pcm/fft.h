// Complex fast Fourier transforms of power-of-two sizes, in double precision.
#ifndef TB_PLUGINS_PCM_FFT_H
#define TB_PLUGINS_PCM_FFT_H

#include <cstddef>
#include <vector>

namespace tb::pcm {

/// Radix-4 transforms (with one radix-2 pass where the size needs it) of one size over interleaved
/// complex doubles (re, im), in place.
///
/// Forward leaves the spectrum in bit-reversed order and Inverse takes it in that order,
/// which spares both a reordering pass: a caller that filters by multiplying the spectrum
/// only needs to know where each bin sits (BinIndex). Neither scales; Forward followed by
/// Inverse multiplies by size(). The data must be 16-byte aligned.
class Fft {
 public:
  /// `size` is a power of two, at least 4.
  explicit Fft(size_t size);
  Fft(const Fft&) = delete;
  Fft& operator=(const Fft&) = delete;

  size_t size() const { return size_; }

  /// X[k] = sum x[n] e^(-2 pi i n k / N); bin k lands at BinIndex(k).
  void Forward(double* data) const;
  /// The same from `in` (left as it is, also 16-byte aligned) into `data`.
  void Forward(const double* in, double* data) const;
  /// x[n] = sum X[k] e^(+2 pi i n k / N), bin k taken from BinIndex(k).
  void Inverse(double* data) const;

  /// Inverse without its first two passes (butterflies 1 and 2 apart, twiddles 1 and
  /// +i), for a caller that has done them while filling the data.
  void InverseRest(double* data) const;

  /// Where bin `k` is kept between Forward and Inverse.
  size_t BinIndex(size_t k) const;

 private:
#if !defined(__SSE2__)
  void InversePasses(double* data, size_t first) const;
#endif

  size_t size_;
  int bits_;
  // The passes that use a table, largest first: butterflies `half` apart (and half/2
  // for radix 4); twiddles at `offset`, for radix 4 w, w^2, w^3 with w = e^(-pi i j /
  // half), j < half/2, else w for j < half.
  struct Stage {
    size_t half;
    bool radix4;
    size_t offset;
  };
  std::vector<Stage> stages_;
  std::vector<double> storage_;
  const double* twiddles_ = nullptr;  // 16-byte aligned
  size_t twiddleCount_ = 0;
};

}  // namespace tb::pcm

#endif  // TB_PLUGINS_PCM_FFT_H
