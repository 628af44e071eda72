#include "plugins/pcm/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "plugins/pcm/format.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace tb::pcm {

namespace {

// Input frames taken into the history at a time; bounds the working memory whatever
// block sizes the caller feeds.
const size_t kChunk = 4096;
// Exact polyphase tables up to this many phases and this many floats (16 MB).
const uint64_t kMaxExactPhases = 4096;
const uint64_t kMaxTableFloats = uint64_t{4} << 20;
const size_t kMaxTaps = 32768;
// Passband edge and stopband edge as fractions of the lower Nyquist frequency.
const double kPassEdge = 0.90;
const double kStopEdge = 1.00;

const double kPi = 3.14159265358979323846;

uint64_t Gcd(uint64_t a, uint64_t b) {
  while (b != 0) {
    const uint64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// Modified Bessel function of the first kind, order 0.
double BesselI0(double x) {
  double sum = 1.0, term = 1.0;
  const double q = x * x / 4.0;
  for (int k = 1; k < 500; ++k) {
    term *= q / (static_cast<double>(k) * k);
    sum += term;
    if (term < sum * 1e-21) break;
  }
  return sum;
}

#if defined(__SSE__)
inline float HorizontalSum(__m128 v) {
  __m128 shuf = _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1));
  __m128 sums = _mm_add_ps(v, shuf);
  shuf = _mm_movehl_ps(shuf, sums);
  sums = _mm_add_ss(sums, shuf);
  return _mm_cvtss_f32(sums);
}
#endif

// The filter loops: `taps` is a multiple of 8 and `h` 16-byte aligned; the history
// pointers have no alignment. Two channels share each load of the taps.
inline void Dot2(const float* h, const float* a, const float* b, size_t taps, float* ya,
                 float* yb) {
#if defined(__SSE__)
  __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps();
  __m128 b0 = _mm_setzero_ps(), b1 = _mm_setzero_ps();
  for (size_t j = 0; j < taps; j += 8) {
    const __m128 h0 = _mm_load_ps(h + j), h1 = _mm_load_ps(h + j + 4);
    a0 = _mm_add_ps(a0, _mm_mul_ps(h0, _mm_loadu_ps(a + j)));
    a1 = _mm_add_ps(a1, _mm_mul_ps(h1, _mm_loadu_ps(a + j + 4)));
    b0 = _mm_add_ps(b0, _mm_mul_ps(h0, _mm_loadu_ps(b + j)));
    b1 = _mm_add_ps(b1, _mm_mul_ps(h1, _mm_loadu_ps(b + j + 4)));
  }
  *ya = HorizontalSum(_mm_add_ps(a0, a1));
  *yb = HorizontalSum(_mm_add_ps(b0, b1));
#else
  float sa[4] = {0, 0, 0, 0}, sb[4] = {0, 0, 0, 0};
  for (size_t j = 0; j < taps; j += 4) {
    for (int k = 0; k < 4; ++k) {
      sa[k] += h[j + k] * a[j + k];
      sb[k] += h[j + k] * b[j + k];
    }
  }
  *ya = (sa[0] + sa[2]) + (sa[1] + sa[3]);
  *yb = (sb[0] + sb[2]) + (sb[1] + sb[3]);
#endif
}

inline float Dot1(const float* h, const float* a, size_t taps) {
#if defined(__SSE__)
  __m128 a0 = _mm_setzero_ps(), a1 = _mm_setzero_ps();
  for (size_t j = 0; j < taps; j += 8) {
    a0 = _mm_add_ps(a0, _mm_mul_ps(_mm_load_ps(h + j), _mm_loadu_ps(a + j)));
    a1 = _mm_add_ps(a1, _mm_mul_ps(_mm_load_ps(h + j + 4), _mm_loadu_ps(a + j + 4)));
  }
  return HorizontalSum(_mm_add_ps(a0, a1));
#else
  float s[4] = {0, 0, 0, 0};
  for (size_t j = 0; j < taps; j += 4) {
    for (int k = 0; k < 4; ++k) s[k] += h[j + k] * a[j + k];
  }
  return (s[0] + s[2]) + (s[1] + s[3]);
#endif
}

}  // namespace

std::unique_ptr<Resampler> Resampler::Create(int32_t inRate, int32_t outRate, int32_t channels,
                                             std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return std::unique_ptr<Resampler>();
  };
  if (inRate < 1 || inRate > kMaxSampleRate || outRate < 1 || outRate > kMaxSampleRate) {
    return fail("sample rates must be 1 to 1000000 Hz");
  }
  if (inRate == outRate) return fail("the two sample rates are equal");
  if (channels < 1 || channels > kMaxChannels) return fail("channel count must be 1 to 256");

  std::unique_ptr<Resampler> r(new Resampler());
  const uint64_t g = Gcd(static_cast<uint64_t>(inRate), static_cast<uint64_t>(outRate));
  r->channels_ = channels;
  r->l_ = static_cast<uint64_t>(outRate) / g;
  r->m_ = static_cast<uint64_t>(inRate) / g;
  r->stepWhole_ = r->m_ / r->l_;
  r->stepFrac_ = r->m_ % r->l_;

  // Frequencies in cycles per input frame. The sinc's cutoff sits midway between the
  // passband and stopband edges; Kaiser's estimates give the window and its length.
  const double lowNyquist = 0.5 * std::min(inRate, outRate) / inRate;
  const double cutoff = 0.5 * (kPassEdge + kStopEdge) * lowNyquist;
  const double transition = (kStopEdge - kPassEdge) * lowNyquist;
  const double beta = 0.1102 * (kStopbandDb - 8.7);
  const double length = std::ceil((kStopbandDb - 7.95) / (14.36 * transition));
  if (length > static_cast<double>(kMaxTaps)) {
    return fail("sample rate ratio " + std::to_string(inRate) + ":" + std::to_string(outRate) +
                " is too large");
  }
  r->taps_ = (static_cast<size_t>(length) + 7) / 8 * 8;
  const size_t taps = r->taps_;

  size_t rows;
  if (r->l_ <= kMaxExactPhases && r->l_ * taps <= kMaxTableFloats) {
    r->exact_ = true;
    r->phases_ = static_cast<size_t>(r->l_);
    rows = r->phases_;
  } else {
    // Linear interpolation between rows spaced 1/P frames apart errs by about
    // (2 pi cutoff / P)^2 / 8 of the signal; this P keeps that near 3e-7.
    r->exact_ = false;
    r->phases_ = std::max<size_t>(16, static_cast<size_t>(std::ceil(cutoff * 4100.0)));
    rows = r->phases_ + 1;
  }
  if (rows * taps > kMaxTableFloats) return fail("sample rate ratio needs too large a filter");

  r->tableStorage_.assign(rows * taps + 4, 0.0f);
  const auto misalign = reinterpret_cast<uintptr_t>(r->tableStorage_.data()) & 15;
  r->table_ = r->tableStorage_.data() + (misalign ? (16 - misalign) / sizeof(float) : 0);

  const double half = static_cast<double>(taps) / 2;
  const double i0Beta = BesselI0(beta);
  std::vector<double> row(taps);
  for (size_t p = 0; p < rows; ++p) {
    double sum = 0.0;
    for (size_t j = 0; j < taps; ++j) {
      // Tap j of phase p weighs the frame at distance t from the output's position.
      const double t = static_cast<double>(p) / static_cast<double>(r->phases_) + half - 1.0 -
                       static_cast<double>(j);
      const double x = 2.0 * cutoff * t;
      const double sinc = x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
      const double u = t / half;
      const double window = u * u >= 1.0 ? 0.0 : BesselI0(beta * std::sqrt(1.0 - u * u)) / i0Beta;
      row[j] = 2.0 * cutoff * sinc * window;
      sum += row[j];
    }
    // Unity gain at DC for every phase, so silence and constants pass without ripple.
    float* out = r->table_ + p * taps;
    for (size_t j = 0; j < taps; ++j) out[j] = static_cast<float>(row[j] / sum);
  }

  r->capacity_ = taps + kChunk;
  r->hist_.assign(static_cast<size_t>(channels) * r->capacity_, 0.0f);
  r->Reset();
  return r;
}

void Resampler::Reset() {
  // The stream starts taps/2 - 1 frames into the history, after silence.
  std::fill(hist_.begin(), hist_.end(), 0.0f);
  count_ = taps_ / 2 - 1;
  start_ = 0;
  phase_ = 0;
  inTotal_ = 0;
  outTotal_ = 0;
}

void Resampler::Append(const float* in, size_t frames) {
  if (count_ + frames > capacity_) {
    // Past an output the history behind start_ is no longer needed.
    const size_t shift = std::min(start_, count_);
    for (int32_t c = 0; c < channels_; ++c) {
      std::memmove(hist(c), hist(c) + shift, (count_ - shift) * sizeof(float));
    }
    count_ -= shift;
    start_ -= shift;
  }
  const auto channels = static_cast<size_t>(channels_);
  for (int32_t c = 0; c < channels_; ++c) {
    float* h = hist(c) + count_;
    if (in) {
      const float* src = in + c;
      for (size_t f = 0; f < frames; ++f, src += channels) h[f] = *src;
    } else {
      std::fill(h, h + frames, 0.0f);
    }
  }
  count_ += frames;
}

void Resampler::Produce(uint64_t limit, std::vector<float>* out) {
  if (start_ + taps_ > count_ || outTotal_ >= limit) return;
  const auto channels = static_cast<size_t>(channels_);
  // Each output moves at least M/L frames on, so this bounds the outputs now ready.
  uint64_t bound = (static_cast<uint64_t>(count_ - start_ - taps_) + 1) * l_ / m_ + 1;
  bound = std::min(bound, limit - outTotal_);
  const size_t old = out->size();
  out->resize(old + static_cast<size_t>(bound) * channels);
  float* o = out->data() + old;
  uint64_t n = 0;
  float lo[2], hi[2];
  while (n < bound && start_ + taps_ <= count_) {
    if (exact_) {
      const float* h = row(static_cast<size_t>(phase_));
      int32_t c = 0;
      for (; c + 1 < channels_; c += 2) {
        Dot2(h, hist(c) + start_, hist(c + 1) + start_, taps_, o + c, o + c + 1);
      }
      if (c < channels_) o[c] = Dot1(h, hist(c) + start_, taps_);
    } else {
      const uint64_t pos = phase_ * phases_;
      const float* h0 = row(static_cast<size_t>(pos / l_));
      const float* h1 = h0 + taps_;
      const auto f = static_cast<float>(static_cast<double>(pos % l_) / static_cast<double>(l_));
      int32_t c = 0;
      for (; c + 1 < channels_; c += 2) {
        Dot2(h0, hist(c) + start_, hist(c + 1) + start_, taps_, &lo[0], &lo[1]);
        Dot2(h1, hist(c) + start_, hist(c + 1) + start_, taps_, &hi[0], &hi[1]);
        o[c] = lo[0] + f * (hi[0] - lo[0]);
        o[c + 1] = lo[1] + f * (hi[1] - lo[1]);
      }
      if (c < channels_) {
        lo[0] = Dot1(h0, hist(c) + start_, taps_);
        hi[0] = Dot1(h1, hist(c) + start_, taps_);
        o[c] = lo[0] + f * (hi[0] - lo[0]);
      }
    }
    o += channels;
    ++n;
    phase_ += stepFrac_;
    start_ += static_cast<size_t>(stepWhole_);
    if (phase_ >= l_) {
      phase_ -= l_;
      ++start_;
    }
  }
  out->resize(old + static_cast<size_t>(n) * channels);
  outTotal_ += n;
}

void Resampler::Process(const float* in, size_t frames, std::vector<float>* out) {
  const auto channels = static_cast<size_t>(channels_);
  while (frames > 0) {
    const size_t n = std::min(frames, kChunk);
    Append(in, n);
    inTotal_ += n;
    Produce(UINT64_MAX, out);
    in += n * channels;
    frames -= n;
  }
}

void Resampler::Flush(std::vector<float>* out) {
  const uint64_t target = OutputLimit(inTotal_);
  // Silence after the end lets the filter reach the last outputs.
  while (outTotal_ < target) {
    Append(nullptr, std::min(kChunk, taps_));
    Produce(target, out);
  }
  Reset();
}

}  // namespace tb::pcm
