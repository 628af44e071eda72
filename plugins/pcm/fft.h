// Complex fast Fourier transforms of sizes whose only prime factors are 2, 3, 5 and 7,
// in double precision.
#ifndef TB_PLUGINS_PCM_FFT_H
#define TB_PLUGINS_PCM_FFT_H

#include <cstddef>
#include <vector>

namespace tb::pcm {

/// Transforms of one size over interleaved complex doubles (re, im), in place. A size is
/// an odd part (a product of 3s, 5s and 7s, one pass each) times a power of two of at
/// least 4 (radix-4 passes, with one radix-2 pass where it needs it).
///
/// Forward leaves the spectrum in digit-reversed order and Inverse takes it in that
/// order, which spares both a reordering pass: a caller that filters by multiplying the
/// spectrum only needs to know where each bin sits (BinIndex). Neither scales; Forward
/// followed by Inverse multiplies by size(). The data must be 16-byte aligned.
class Fft {
 public:
  /// `size` passes Supported.
  explicit Fft(size_t size);

  /// Whether `size` is a size this class transforms: 4 or more, a power of two of at
  /// least 4 times any product of 3s, 5s and 7s.
  static bool Supported(size_t size);
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
  /// +i, on each four places in turn), for a caller that has done them while filling
  /// the data.
  void InverseRest(double* data) const;

  /// Where bin `k` is kept between Forward and Inverse.
  size_t BinIndex(size_t k) const;

 private:
#if !defined(__SSE2__)
  void InversePasses(double* data, size_t first) const;
#endif
  // The odd part's passes: Forward's from `in` into `data`, Inverse's in place.
  void OddForward(const double* in, double* data) const;
  void OddInverse(double* data) const;

  size_t size_;
  size_t pow2_;  // the power-of-two part of the size
  int bits_;     // its bits
  // The passes that use a table, largest first: butterflies `half` apart (and half/2
  // for radix 4); twiddles at `offset`, for radix 4 w, w^2, w^3 with w = e^(-pi i j /
  // half), j < half/2, else w for j < half.
  struct Stage {
    size_t half;
    bool radix4;
    size_t offset;
  };
  std::vector<Stage> stages_;
  // The odd part's passes, run first by Forward (largest first) and last by Inverse:
  // butterflies of `radix` points `q` apart, with twiddles w^(jk), w = e^(-2
  // pi i / (radix q)), for j < q and 1 <= k < radix at `offset`, radix - 1 per j.
  struct OddStage {
    size_t radix;
    size_t q;
    size_t offset;
  };
  std::vector<OddStage> odd_;
  std::vector<double> storage_;
  const double* twiddles_ = nullptr;  // 16-byte aligned
  size_t twiddleCount_ = 0;
};

}  // namespace tb::pcm

#endif  // TB_PLUGINS_PCM_FFT_H
