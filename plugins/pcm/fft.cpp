#include "plugins/pcm/fft.h"

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tb::pcm {

namespace {

const double kPi = 3.14159265358979323846;

// Each twiddle w is stored as (re w, re w, -im w, im w), the form the multiply wants.
#if defined(__SSE2__)
inline __m128d Mul(__m128d v, const double* w) {
  const __m128d swapped = _mm_shuffle_pd(v, v, 1);
  return _mm_add_pd(_mm_mul_pd(v, _mm_load_pd(w)), _mm_mul_pd(swapped, _mm_load_pd(w + 2)));
}
inline __m128d MulConj(__m128d v, const double* w) {
  const __m128d swapped = _mm_shuffle_pd(v, v, 1);
  return _mm_sub_pd(_mm_mul_pd(v, _mm_load_pd(w)), _mm_mul_pd(swapped, _mm_load_pd(w + 2)));
}
#endif

}  // namespace

Fft::Fft(size_t size) : size_(size), bits_(0) {
  while ((size_t{1} << bits_) < size_) ++bits_;
  for (size_t half = size_ / 2; half >= 4; half /= 2) twiddleCount_ += 4 * half;
  // The allocator of a 32-bit process aligns to 8 bytes only.
  storage_.assign(twiddleCount_ + 2, 0.0);
  double* w = storage_.data();
  if (reinterpret_cast<uintptr_t>(w) & 15) ++w;
  twiddles_ = w;
  for (size_t half = size_ / 2; half >= 4; half /= 2) {
    for (size_t j = 0; j < half; ++j, w += 4) {
      const double angle = -kPi * static_cast<double>(j) / static_cast<double>(half);
      w[0] = w[1] = std::cos(angle);
      w[3] = std::sin(angle);
      w[2] = -w[3];
    }
  }
}

size_t Fft::BinIndex(size_t k) const {
  size_t r = 0;
  for (int b = 0; b < bits_; ++b) r |= ((k >> b) & 1) << (bits_ - 1 - b);
  return r;
}

#if defined(__SSE2__)

void Fft::Forward(double* data) const {
  const size_t n = size_;
  const double* w = twiddles_;
  for (size_t half = n / 2; half >= 4; half /= 2) {
    for (size_t g = 0; g < n; g += 2 * half) {
      double* a = data + 2 * g;
      double* b = a + 2 * half;
      for (size_t j = 0; j < half; ++j) {
        const __m128d x = _mm_load_pd(a + 2 * j), y = _mm_load_pd(b + 2 * j);
        _mm_store_pd(a + 2 * j, _mm_add_pd(x, y));
        _mm_store_pd(b + 2 * j, Mul(_mm_sub_pd(x, y), w + 4 * j));
      }
    }
    w += 4 * half;
  }
  // The last two passes: twiddles 1 and -i, then 1.
  const __m128d flip = _mm_set_pd(-0.0, 0.0);
  for (size_t g = 0; g < n; g += 4) {
    double* p = data + 2 * g;
    const __m128d x0 = _mm_load_pd(p), x1 = _mm_load_pd(p + 2);
    const __m128d x2 = _mm_load_pd(p + 4), x3 = _mm_load_pd(p + 6);
    const __m128d s0 = _mm_add_pd(x0, x2), s1 = _mm_add_pd(x1, x3);
    const __m128d d0 = _mm_sub_pd(x0, x2);
    __m128d d1 = _mm_sub_pd(x1, x3);
    d1 = _mm_xor_pd(_mm_shuffle_pd(d1, d1, 1), flip);  // times -i
    _mm_store_pd(p, _mm_add_pd(s0, s1));
    _mm_store_pd(p + 2, _mm_sub_pd(s0, s1));
    _mm_store_pd(p + 4, _mm_add_pd(d0, d1));
    _mm_store_pd(p + 6, _mm_sub_pd(d0, d1));
  }
}

void Fft::Inverse(double* data) const {
  const size_t n = size_;
  // The first two passes: twiddles 1, then 1 and +i.
  const __m128d flip = _mm_set_pd(0.0, -0.0);
  for (size_t g = 0; g < n; g += 4) {
    double* p = data + 2 * g;
    const __m128d x0 = _mm_load_pd(p), x1 = _mm_load_pd(p + 2);
    const __m128d x2 = _mm_load_pd(p + 4), x3 = _mm_load_pd(p + 6);
    const __m128d s0 = _mm_add_pd(x0, x1), d0 = _mm_sub_pd(x0, x1);
    const __m128d s1 = _mm_add_pd(x2, x3);
    __m128d d1 = _mm_sub_pd(x2, x3);
    d1 = _mm_xor_pd(_mm_shuffle_pd(d1, d1, 1), flip);  // times +i
    _mm_store_pd(p, _mm_add_pd(s0, s1));
    _mm_store_pd(p + 4, _mm_sub_pd(s0, s1));
    _mm_store_pd(p + 2, _mm_add_pd(d0, d1));
    _mm_store_pd(p + 6, _mm_sub_pd(d0, d1));
  }
  InverseRest(data);
}

void Fft::InverseRest(double* data) const {
  const size_t n = size_;
  const double* w = twiddles_ + twiddleCount_;
  for (size_t half = 4; half < n; half *= 2) {
    w -= 4 * half;
    for (size_t g = 0; g < n; g += 2 * half) {
      double* a = data + 2 * g;
      double* b = a + 2 * half;
      for (size_t j = 0; j < half; ++j) {
        const __m128d x = _mm_load_pd(a + 2 * j);
        const __m128d y = MulConj(_mm_load_pd(b + 2 * j), w + 4 * j);
        _mm_store_pd(a + 2 * j, _mm_add_pd(x, y));
        _mm_store_pd(b + 2 * j, _mm_sub_pd(x, y));
      }
    }
  }
}

#else

void Fft::Forward(double* data) const {
  const size_t n = size_;
  const double* w = twiddles_;
  for (size_t half = n / 2; half >= 1; half /= 2) {
    for (size_t g = 0; g < n; g += 2 * half) {
      double* a = data + 2 * g;
      double* b = a + 2 * half;
      for (size_t j = 0; j < half; ++j) {
        const double xr = a[2 * j], xi = a[2 * j + 1], yr = b[2 * j], yi = b[2 * j + 1];
        a[2 * j] = xr + yr;
        a[2 * j + 1] = xi + yi;
        const double dr = xr - yr, di = xi - yi;
        double wr = 1, wi = 0;
        if (half >= 4) {
          wr = w[4 * j];
          wi = w[4 * j + 3];
        } else if (half == 2 && j == 1) {
          wr = 0;
          wi = -1;
        }
        b[2 * j] = dr * wr - di * wi;
        b[2 * j + 1] = dr * wi + di * wr;
      }
    }
    if (half >= 4) w += 4 * half;
  }
}

void Fft::Inverse(double* data) const { InversePasses(data, 1); }

void Fft::InverseRest(double* data) const { InversePasses(data, 4); }

void Fft::InversePasses(double* data, size_t first) const {
  const size_t n = size_;
  const double* w = twiddles_ + twiddleCount_;
  for (size_t half = 1; half < n; half *= 2) {
    if (half >= 4) w -= 4 * half;
    if (half < first) continue;
    for (size_t g = 0; g < n; g += 2 * half) {
      double* a = data + 2 * g;
      double* b = a + 2 * half;
      for (size_t j = 0; j < half; ++j) {
        double wr = 1, wi = 0;
        if (half >= 4) {
          wr = w[4 * j];
          wi = -w[4 * j + 3];
        } else if (half == 2 && j == 1) {
          wr = 0;
          wi = 1;
        }
        const double yr = b[2 * j] * wr - b[2 * j + 1] * wi;
        const double yi = b[2 * j] * wi + b[2 * j + 1] * wr;
        const double xr = a[2 * j], xi = a[2 * j + 1];
        a[2 * j] = xr + yr;
        a[2 * j + 1] = xi + yi;
        b[2 * j] = xr - yr;
        b[2 * j + 1] = xi - yi;
      }
    }
  }
}

#endif

}  // namespace tb::pcm
