#include "plugins/pcm/fft.h"

#include <cmath>
#include <cstdint>
#include <cstring>

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
// Times -i and times +i.
inline __m128d TimesMinusI(__m128d v) {
  return _mm_xor_pd(_mm_shuffle_pd(v, v, 1), _mm_set_pd(-0.0, 0.0));
}
inline __m128d TimesI(__m128d v) {
  return _mm_xor_pd(_mm_shuffle_pd(v, v, 1), _mm_set_pd(0.0, -0.0));
}
#endif

void PutTwiddle(double* w, double angle) {
  w[0] = w[1] = std::cos(angle);
  w[3] = std::sin(angle);
  w[2] = -w[3];
}

// One complex value for the odd passes, in a register where there is SSE2.
#if defined(__SSE2__)
struct V {
  __m128d v;
};
inline V Load(const double* p) { return {_mm_load_pd(p)}; }
inline void Store(double* p, V a) { _mm_store_pd(p, a.v); }
inline V operator+(V a, V b) { return {_mm_add_pd(a.v, b.v)}; }
inline V operator-(V a, V b) { return {_mm_sub_pd(a.v, b.v)}; }
// Times a real number stored twice (16-byte aligned).
inline V Scale(V a, const double* c) { return {_mm_mul_pd(a.v, _mm_load_pd(c))}; }
inline V TimesI(V a) { return {TimesI(a.v)}; }
inline V MulW(V a, const double* w) { return {Mul(a.v, w)}; }
inline V MulConjW(V a, const double* w) { return {MulConj(a.v, w)}; }
#else
struct V {
  double re, im;
};
inline V Load(const double* p) { return {p[0], p[1]}; }
inline void Store(double* p, V a) { p[0] = a.re, p[1] = a.im; }
inline V operator+(V a, V b) { return {a.re + b.re, a.im + b.im}; }
inline V operator-(V a, V b) { return {a.re - b.re, a.im - b.im}; }
inline V Scale(V a, const double* c) { return {a.re * c[0], a.im * c[0]}; }
inline V TimesI(V a) { return {-a.im, a.re}; }
inline V MulW(V a, const double* w) {
  return {a.re * w[0] + a.im * w[2], a.im * w[1] + a.re * w[3]};
}
inline V MulConjW(V a, const double* w) {
  return {a.re * w[0] - a.im * w[2], a.im * w[1] - a.re * w[3]};
}
#endif

// cos and sin of 2 pi k m / R for 1 <= k, m <= R / 2, each stored twice for the
// multiply.
template <size_t R>
struct OddRadix {
  static constexpr size_t kHalf = R / 2;
  alignas(16) double c[kHalf + 1][kHalf + 1][2];
  alignas(16) double s[kHalf + 1][kHalf + 1][2];
  OddRadix() {
    for (size_t k = 1; k <= kHalf; ++k) {
      for (size_t m = 1; m <= kHalf; ++m) {
        const double angle = 2 * kPi * static_cast<double>((k * m) % R) / static_cast<double>(R);
        c[k][m][0] = c[k][m][1] = std::cos(angle);
        s[k][m][0] = s[k][m][1] = std::sin(angle);
      }
    }
  }
};

template <size_t R>
const OddRadix<R>& RadixConstants() {
  static const OddRadix<R> constants;
  return constants;
}

// A pass of radix-R butterflies, points q apart in blocks of R q, over n points, from
// `from` into `data`. The pairs m and R - m go as their sum and difference: output k is
// then x0 plus the sums times cosines, and minus (forward) or plus (inverse) i times the
// differences times sines; output R - k has the other sign. Forward (decimation in
// frequency) turns the outputs by the twiddles; Inverse turns the inputs back first.
template <size_t R, bool Inverse>
void OddPass(const double* from, double* data, size_t n, size_t q, const double* w) {
  constexpr size_t H = R / 2;
  const OddRadix<R>& t = RadixConstants<R>();
  auto in = [&](size_t at, size_t m, const double* wj) {
    const V v = Load(from + at + 2 * m * q);
    return Inverse ? MulConjW(v, wj + 4 * (m - 1)) : v;
  };
  auto out = [&](size_t at, size_t k, const double* wj, V v) {
    Store(data + at + 2 * k * q, Inverse ? v : MulW(v, wj + 4 * (k - 1)));
  };
  for (size_t g = 0; g < n; g += R * q) {
    for (size_t j = 0; j < q; ++j) {
      const size_t at = 2 * (g + j);
      const double* wj = w + 4 * (R - 1) * j;
      const V x0 = Load(from + at);
      V sum[H + 1], dif[H + 1];
      V y0 = x0;
#pragma GCC unroll 4
      for (size_t m = 1; m <= H; ++m) {
        const V a = in(at, m, wj), b = in(at, R - m, wj);
        sum[m] = a + b;
        dif[m] = a - b;
        y0 = y0 + sum[m];
      }
      Store(data + at, y0);
#pragma GCC unroll 4
      for (size_t k = 1; k <= H; ++k) {
        V a = x0 + Scale(sum[1], t.c[k][1]);
        V b = Scale(dif[1], t.s[k][1]);
#pragma GCC unroll 4
        for (size_t m = 2; m <= H; ++m) {
          a = a + Scale(sum[m], t.c[k][m]);
          b = b + Scale(dif[m], t.s[k][m]);
        }
        const V ib = TimesI(b);
        out(at, k, wj, Inverse ? a + ib : a - ib);
        out(at, R - k, wj, Inverse ? a - ib : a + ib);
      }
    }
  }
}

template <bool Inverse>
void OddPassOfRadix(size_t radix, const double* from, double* data, size_t n, size_t q,
                    const double* w) {
  if (radix == 7) {
    OddPass<7, Inverse>(from, data, n, q, w);
  } else if (radix == 5) {
    OddPass<5, Inverse>(from, data, n, q, w);
  } else {
    OddPass<3, Inverse>(from, data, n, q, w);
  }
}

}  // namespace

bool Fft::Supported(size_t size) {
  if (size < 4) return false;
  while (size % 3 == 0) size /= 3;
  while (size % 5 == 0) size /= 5;
  while (size % 7 == 0) size /= 7;
  return size >= 4 && (size & (size - 1)) == 0;
}

Fft::Fft(size_t size) : size_(size), pow2_(size), bits_(0) {
  // The odd part, largest radix first: its passes have the largest spans.
  size_t span = size_;
  for (size_t radix : {7, 5, 3}) {
    while (pow2_ % radix == 0) {
      pow2_ /= radix;
      odd_.push_back({radix, span / radix, 0});
      span /= radix;
    }
  }
  while ((size_t{1} << bits_) < pow2_) ++bits_;
  // The passes with butterflies pow2/2 ... 4 apart, largest first, go in pairs (one
  // radix-4 pass each); an odd one out, 4 apart, stays radix 2. The last two passes
  // need no table.
  size_t passes = 0;
  for (size_t half = pow2_ / 2; half >= 4; half /= 2) ++passes;
  size_t half = pow2_ / 2;
  for (; passes >= 2; passes -= 2, half /= 4) {
    stages_.push_back({half, true, twiddleCount_});
    twiddleCount_ += 12 * (half / 2);
  }
  if (passes == 1) {
    stages_.push_back({half, false, twiddleCount_});
    twiddleCount_ += 4 * half;
  }
  for (OddStage& s : odd_) {
    s.offset = twiddleCount_;
    twiddleCount_ += 4 * (s.radix - 1) * s.q;
  }
  // The allocator of a 32-bit process aligns to 8 bytes only.
  storage_.assign(twiddleCount_ + 2, 0.0);
  double* w = storage_.data();
  if (reinterpret_cast<uintptr_t>(w) & 15) ++w;
  twiddles_ = w;
  for (const Stage& s : stages_) {
    double* t = w + s.offset;
    const size_t count = s.radix4 ? s.half / 2 : s.half;
    for (size_t j = 0; j < count; ++j) {
      const double angle = -kPi * static_cast<double>(j) / static_cast<double>(s.half);
      if (s.radix4) {
        PutTwiddle(t + 12 * j, angle);
        PutTwiddle(t + 12 * j + 4, 2 * angle);
        PutTwiddle(t + 12 * j + 8, 3 * angle);
      } else {
        PutTwiddle(t + 4 * j, angle);
      }
    }
  }
  for (const OddStage& s : odd_) {
    double* t = w + s.offset;
    const double step = -2 * kPi / static_cast<double>(s.radix * s.q);
    for (size_t j = 0; j < s.q; ++j) {
      for (size_t k = 1; k < s.radix; ++k, t += 4) {
        // The product j k reduced first keeps the angle, and the twiddle, exact.
        PutTwiddle(t, step * static_cast<double>((j * k) % (s.radix * s.q)));
      }
    }
  }
}

size_t Fft::BinIndex(size_t k) const {
  // Each odd pass sends bin k to block k mod radix and leaves k / radix for the
  // transform of that block; the power-of-two passes reverse the bits of what is left.
  size_t r = 0;
  for (const OddStage& s : odd_) {
    r += (k % s.radix) * s.q;
    k /= s.radix;
  }
  for (int b = 0; b < bits_; ++b) r |= ((k >> b) & 1) << (bits_ - 1 - b);
  return r;
}

void Fft::OddForward(const double* in, double* data) const {
  for (const OddStage& s : odd_) {
    OddPassOfRadix<false>(s.radix, in, data, size_, s.q, twiddles_ + s.offset);
    in = data;
  }
}

void Fft::OddInverse(double* data) const {
  for (auto s = odd_.rbegin(); s != odd_.rend(); ++s) {
    OddPassOfRadix<true>(s->radix, data, data, size_, s->q, twiddles_ + s->offset);
  }
}

#if defined(__SSE2__)

void Fft::Forward(double* data) const { Forward(data, data); }

void Fft::Forward(const double* in, double* data) const {
  const size_t n = size_;
  if (!odd_.empty()) {
    OddForward(in, data);
    in = data;
  }
  if (stages_.empty() && in != data) std::memcpy(data, in, 2 * n * sizeof(double));
  // The first pass reads `in`, the others work in place.
  const double* from = in;
  for (const Stage& s : stages_) {
    const double* w = twiddles_ + s.offset;
    const size_t half = s.half;
    for (size_t g = 0; g < n; g += 2 * half) {
      double* a = data + 2 * g;
      const double* fa = from + 2 * g;
      if (s.radix4) {
        const size_t q = half / 2;
        double* b = a + 2 * q;
        double* c = a + 2 * half;
        double* d = c + 2 * q;
        const double* fb = fa + 2 * q;
        const double* fc = fa + 2 * half;
        const double* fd = fc + 2 * q;
        for (size_t j = 0; j < q; ++j) {
          const __m128d xa = _mm_load_pd(fa + 2 * j), xb = _mm_load_pd(fb + 2 * j);
          const __m128d xc = _mm_load_pd(fc + 2 * j), xd = _mm_load_pd(fd + 2 * j);
          const __m128d t0 = _mm_add_pd(xa, xc), t2 = _mm_sub_pd(xa, xc);
          const __m128d t1 = _mm_add_pd(xb, xd), t3 = TimesMinusI(_mm_sub_pd(xb, xd));
          const double* wj = w + 12 * j;
          _mm_store_pd(a + 2 * j, _mm_add_pd(t0, t1));
          _mm_store_pd(b + 2 * j, Mul(_mm_sub_pd(t0, t1), wj + 4));
          _mm_store_pd(c + 2 * j, Mul(_mm_add_pd(t2, t3), wj));
          _mm_store_pd(d + 2 * j, Mul(_mm_sub_pd(t2, t3), wj + 8));
        }
      } else {
        double* b = a + 2 * half;
        const double* fb = fa + 2 * half;
        for (size_t j = 0; j < half; ++j) {
          const __m128d x = _mm_load_pd(fa + 2 * j), y = _mm_load_pd(fb + 2 * j);
          _mm_store_pd(a + 2 * j, _mm_add_pd(x, y));
          _mm_store_pd(b + 2 * j, Mul(_mm_sub_pd(x, y), w + 4 * j));
        }
      }
    }
    from = data;
  }
  // The last two passes: twiddles 1 and -i, then 1.
  for (size_t g = 0; g < n; g += 4) {
    double* p = data + 2 * g;
    const __m128d x0 = _mm_load_pd(p), x1 = _mm_load_pd(p + 2);
    const __m128d x2 = _mm_load_pd(p + 4), x3 = _mm_load_pd(p + 6);
    const __m128d s0 = _mm_add_pd(x0, x2), s1 = _mm_add_pd(x1, x3);
    const __m128d d0 = _mm_sub_pd(x0, x2), d1 = TimesMinusI(_mm_sub_pd(x1, x3));
    _mm_store_pd(p, _mm_add_pd(s0, s1));
    _mm_store_pd(p + 2, _mm_sub_pd(s0, s1));
    _mm_store_pd(p + 4, _mm_add_pd(d0, d1));
    _mm_store_pd(p + 6, _mm_sub_pd(d0, d1));
  }
}

void Fft::Inverse(double* data) const {
  const size_t n = size_;
  // The first two passes: twiddles 1, then 1 and +i.
  for (size_t g = 0; g < n; g += 4) {
    double* p = data + 2 * g;
    const __m128d x0 = _mm_load_pd(p), x1 = _mm_load_pd(p + 2);
    const __m128d x2 = _mm_load_pd(p + 4), x3 = _mm_load_pd(p + 6);
    const __m128d s0 = _mm_add_pd(x0, x1), d0 = _mm_sub_pd(x0, x1);
    const __m128d s1 = _mm_add_pd(x2, x3), d1 = TimesI(_mm_sub_pd(x2, x3));
    _mm_store_pd(p, _mm_add_pd(s0, s1));
    _mm_store_pd(p + 4, _mm_sub_pd(s0, s1));
    _mm_store_pd(p + 2, _mm_add_pd(d0, d1));
    _mm_store_pd(p + 6, _mm_sub_pd(d0, d1));
  }
  InverseRest(data);
}

void Fft::InverseRest(double* data) const {
  const size_t n = size_;
  for (auto s = stages_.rbegin(); s != stages_.rend(); ++s) {
    const double* w = twiddles_ + s->offset;
    const size_t half = s->half;
    for (size_t g = 0; g < n; g += 2 * half) {
      double* a = data + 2 * g;
      if (s->radix4) {
        const size_t q = half / 2;
        double* b = a + 2 * q;
        double* c = a + 2 * half;
        double* d = c + 2 * q;
        for (size_t j = 0; j < q; ++j) {
          const double* wj = w + 12 * j;
          const __m128d xa = _mm_load_pd(a + 2 * j);
          const __m128d xb = MulConj(_mm_load_pd(b + 2 * j), wj + 4);
          const __m128d xc = MulConj(_mm_load_pd(c + 2 * j), wj);
          const __m128d xd = MulConj(_mm_load_pd(d + 2 * j), wj + 8);
          const __m128d s0 = _mm_add_pd(xa, xb), d0 = _mm_sub_pd(xa, xb);
          const __m128d s1 = _mm_add_pd(xc, xd), d1 = TimesI(_mm_sub_pd(xc, xd));
          _mm_store_pd(a + 2 * j, _mm_add_pd(s0, s1));
          _mm_store_pd(c + 2 * j, _mm_sub_pd(s0, s1));
          _mm_store_pd(b + 2 * j, _mm_add_pd(d0, d1));
          _mm_store_pd(d + 2 * j, _mm_sub_pd(d0, d1));
        }
      } else {
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
  OddInverse(data);
}

#else

// Without SSE2 (not a build this project makes) the passes stay radix 2 and work their
// twiddles out as they go.
void Fft::Forward(const double* in, double* data) const {
  if (in != data) std::memcpy(data, in, 2 * size_ * sizeof(double));
  Forward(data);
}

void Fft::Forward(double* data) const {
  const size_t n = size_;
  OddForward(data, data);
  for (size_t half = pow2_ / 2; half >= 1; half /= 2) {
    for (size_t g = 0; g < n; g += 2 * half) {
      double* a = data + 2 * g;
      double* b = a + 2 * half;
      for (size_t j = 0; j < half; ++j) {
        const double angle = -kPi * static_cast<double>(j) / static_cast<double>(half);
        const double wr = std::cos(angle), wi = std::sin(angle);
        const double xr = a[2 * j], xi = a[2 * j + 1], yr = b[2 * j], yi = b[2 * j + 1];
        a[2 * j] = xr + yr;
        a[2 * j + 1] = xi + yi;
        const double dr = xr - yr, di = xi - yi;
        b[2 * j] = dr * wr - di * wi;
        b[2 * j + 1] = dr * wi + di * wr;
      }
    }
  }
}

void Fft::Inverse(double* data) const { InversePasses(data, 1); }

void Fft::InverseRest(double* data) const { InversePasses(data, 4); }

void Fft::InversePasses(double* data, size_t first) const {
  const size_t n = size_;
  for (size_t half = first; half < pow2_; half *= 2) {
    for (size_t g = 0; g < n; g += 2 * half) {
      double* a = data + 2 * g;
      double* b = a + 2 * half;
      for (size_t j = 0; j < half; ++j) {
        const double angle = kPi * static_cast<double>(j) / static_cast<double>(half);
        const double wr = std::cos(angle), wi = std::sin(angle);
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
  OddInverse(data);
}

#endif

}  // namespace tb::pcm
