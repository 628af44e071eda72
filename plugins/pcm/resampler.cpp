#include "plugins/pcm/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "plugins/pcm/format.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tb::pcm {

namespace {

// Exact polyphase tables up to this many phases; interpolated tables have this many
// rows, which keeps the interpolation error of a row near -155 dB.
const uint64_t kMaxExactPhases = 4096;
const size_t kInterpolatedPhases = 16384;
// The first stage's filter may be this long (taps at the input rate): about 200:1 down.
const size_t kMaxBandTaps = 65536;
// Rate factors of a first stage that leaves the rest to the second; the largest
// numerator and denominator of a ratio the first stage takes alone; the largest block.
const size_t kMaxDown = 64;
const uint64_t kMaxDirect = 4096;
const size_t kMinBlock = 256;
const size_t kMaxBlock = size_t{1} << 18;

const double kPi = 3.14159265358979323846;

uint64_t Gcd(uint64_t a, uint64_t b) {
  while (b != 0) {
    const uint64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// Whether `v` has no prime factor above 7.
bool Smooth(uint64_t v) {
  for (uint64_t p : {2, 3, 5, 7}) {
    while (v % p == 0) v /= p;
  }
  return v == 1;
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

// Kaiser's estimates: the window's shape and the length that reaches `db` over a
// transition `width` cycles per sample wide.
double KaiserBeta(double db) { return 0.1102 * (db - 8.7); }
double KaiserLength(double db, double width) { return (db - 7.95) / (14.36 * width); }

// The windowed sinc with cutoff `cutoff` (cycles per sample) at distance `t` samples from
// its centre, for a window reaching to +-`half` samples.
double KaiserSinc(double t, double cutoff, double half, double beta, double i0Beta) {
  const double x = 2.0 * cutoff * t;
  const double sinc = x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
  const double u = t / half;
  if (u * u >= 1.0) return 0.0;
  return 2.0 * cutoff * sinc * BesselI0(beta * std::sqrt(1.0 - u * u)) / i0Beta;
}

// 16-byte aligned storage of `count` doubles, zeroed.
double* AlignedZeros(std::vector<double>* storage, size_t count) {
  storage->assign(count + 2, 0.0);
  double* p = storage->data();
  if (reinterpret_cast<uintptr_t>(p) & 15) ++p;
  return p;
}

// Sums of products of `taps` with the complex frames at `x`: the two channels of a pair
// at once.
#if defined(__SSE2__)
// Taps j and j + 1, each in both lanes, times frames j and j + 1, added to `a` and `b`.
inline void TwoTaps(const double* h, const double* x, size_t j, __m128d* a, __m128d* b) {
  const __m128d t = _mm_load_pd(h + j);
  *a = _mm_add_pd(*a, _mm_mul_pd(_mm_unpacklo_pd(t, t), _mm_load_pd(x + 2 * j)));
  *b = _mm_add_pd(*b, _mm_mul_pd(_mm_unpackhi_pd(t, t), _mm_load_pd(x + 2 * j + 2)));
}

// Both are 16-byte aligned and `taps` is even. Four sums keep the adds from waiting on
// each other.
inline __m128d Dot(const double* h, const double* x, size_t taps) {
  __m128d a0 = _mm_setzero_pd(), a1 = _mm_setzero_pd();
  __m128d a2 = _mm_setzero_pd(), a3 = _mm_setzero_pd();
  size_t j = 0;
  for (; j + 3 < taps; j += 4) {
    TwoTaps(h, x, j, &a0, &a1);
    TwoTaps(h, x, j + 2, &a2, &a3);
  }
  if (j < taps) TwoTaps(h, x, j, &a0, &a1);
  return _mm_add_pd(_mm_add_pd(a0, a2), _mm_add_pd(a1, a3));
}

#endif

inline void DotPair(const double* h, const double* x, size_t taps, double* re, double* im) {
#if defined(__SSE2__)
  const __m128d s = Dot(h, x, taps);
  _mm_storel_pd(re, s);
  _mm_storeh_pd(im, s);
#else
  double sr = 0, si = 0;
  for (size_t j = 0; j < taps; ++j) {
    sr += h[j] * x[2 * j];
    si += h[j] * x[2 * j + 1];
  }
  *re = sr;
  *im = si;
#endif
}

// The same into `o`: both channels of the pair, or only the first when `both` is false.
inline void DotInto(const double* h, const double* x, size_t taps, double* o, bool both) {
#if defined(__SSE2__)
  const __m128d s = Dot(h, x, taps);
  if (both) {
    _mm_storeu_pd(o, s);
  } else {
    _mm_storel_pd(o, s);
  }
#else
  double im;
  DotPair(h, x, taps, o, &im);
  if (both) o[1] = im;
#endif
}

// The spectrum of a block times the filter's response, bin by bin, into the output
// spectrum (whose other bins are zero).
inline void FilterBins(const double* in, double* out, const uint32_t* from, const uint32_t* to,
                       const double* gain, size_t bins) {
  for (size_t b = 0; b < bins; ++b, gain += 4) {
    const double* x = in + 2 * from[b];
    double* y = out + 2 * to[b];
#if defined(__SSE2__)
    const __m128d v = _mm_load_pd(x);
    const __m128d swapped = _mm_shuffle_pd(v, v, 1);
    _mm_store_pd(y, _mm_add_pd(_mm_mul_pd(v, _mm_loadu_pd(gain)),
                               _mm_mul_pd(swapped, _mm_loadu_pd(gain + 2))));
#else
    y[0] = x[0] * gain[0] + x[1] * gain[2];
    y[1] = x[1] * gain[1] + x[0] * gain[3];
#endif
  }
}

// The filter's response at each place of the block's spectrum, fused with the first two
// passes of the inverse transform. Same size: the spectrum stays in place. Twice the
// size (up by 2): place p of the input goes to place 2p (p even, a positive frequency) or
// 2p + 1 (p odd, a negative one) of the output, whose other places are zero.
#if defined(__SSE2__)
inline __m128d MulGain(const double* x, const double* gain) {
  const __m128d v = _mm_load_pd(x);
  const __m128d swapped = _mm_shuffle_pd(v, v, 1);
  return _mm_add_pd(_mm_mul_pd(v, _mm_loadu_pd(gain)), _mm_mul_pd(swapped, _mm_loadu_pd(gain + 2)));
}
inline __m128d TimesI(__m128d v) {
  return _mm_xor_pd(_mm_shuffle_pd(v, v, 1), _mm_set_pd(0.0, -0.0));
}
#endif

void FilterSameSize(double* data, const double* gain, size_t size) {
  for (size_t g = 0; g < size; g += 4, data += 8, gain += 16) {
#if defined(__SSE2__)
    const __m128d x0 = MulGain(data, gain), x1 = MulGain(data + 2, gain + 4);
    const __m128d x2 = MulGain(data + 4, gain + 8), x3 = MulGain(data + 6, gain + 12);
    const __m128d s0 = _mm_add_pd(x0, x1), d0 = _mm_sub_pd(x0, x1);
    const __m128d s1 = _mm_add_pd(x2, x3), d1 = TimesI(_mm_sub_pd(x2, x3));
    _mm_store_pd(data, _mm_add_pd(s0, s1));
    _mm_store_pd(data + 4, _mm_sub_pd(s0, s1));
    _mm_store_pd(data + 2, _mm_add_pd(d0, d1));
    _mm_store_pd(data + 6, _mm_sub_pd(d0, d1));
#else
    double x[8];
    for (int k = 0; k < 4; ++k) {
      const double* w = gain + 4 * k;
      x[2 * k] = data[2 * k] * w[0] + data[2 * k + 1] * w[2];
      x[2 * k + 1] = data[2 * k + 1] * w[1] + data[2 * k] * w[3];
    }
    const double s0r = x[0] + x[2], s0i = x[1] + x[3], d0r = x[0] - x[2], d0i = x[1] - x[3];
    const double s1r = x[4] + x[6], s1i = x[5] + x[7];
    const double d1r = -(x[5] - x[7]), d1i = x[4] - x[6];
    data[0] = s0r + s1r, data[1] = s0i + s1i, data[4] = s0r - s1r, data[5] = s0i - s1i;
    data[2] = d0r + d1r, data[3] = d0i + d1i, data[6] = d0r - d1r, data[7] = d0i - d1i;
#endif
  }
}

void FilterDoubleSize(const double* in, const double* gain, size_t size, double* out) {
  for (size_t p = 0; p < size; p += 2, in += 4, gain += 8, out += 8) {
#if defined(__SSE2__)
    const __m128d a = MulGain(in, gain), b = MulGain(in + 2, gain + 4), ib = TimesI(b);
    _mm_store_pd(out, _mm_add_pd(a, b));
    _mm_store_pd(out + 2, _mm_sub_pd(a, ib));
    _mm_store_pd(out + 4, _mm_sub_pd(a, b));
    _mm_store_pd(out + 6, _mm_add_pd(a, ib));
#else
    const double ar = in[0] * gain[0] + in[1] * gain[2], ai = in[1] * gain[1] + in[0] * gain[3];
    const double br = in[2] * gain[4] + in[3] * gain[6], bi = in[3] * gain[5] + in[2] * gain[7];
    out[0] = ar + br, out[1] = ai + bi, out[2] = ar + bi, out[3] = ai - br;
    out[4] = ar - br, out[5] = ai - bi, out[6] = ar - bi, out[7] = ai + br;
#endif
  }
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
  const auto in = static_cast<uint64_t>(inRate), out = static_cast<uint64_t>(outRate);
  const uint64_t g = Gcd(in, out);
  r->channels_ = channels;
  r->pairs_ = (static_cast<size_t>(channels) + 1) / 2;
  r->l_ = out / g;
  r->m_ = in / g;

  // Where the transforms of one block in and one block out have sizes made of 2s, 3s,
  // 5s and 7s (the common rates all do) and are not too large, the first stage takes the
  // whole ratio. Otherwise it goes by a power of two to a middle rate at least twice the
  // lower rate, where the second stage's filter is short.
  const uint64_t low = std::min(in, out);
  const double lowNyquist = 0.5 * static_cast<double>(low);
  const double pass = kPassEdge * lowNyquist;
  const double stop = kStopEdge * lowNyquist;
  bool direct = Smooth(r->l_) && Smooth(r->m_) && r->l_ <= kMaxDirect && r->m_ <= kMaxDirect;
  if (direct) {
    r->up_ = static_cast<size_t>(r->l_);
    r->down_ = static_cast<size_t>(r->m_);
    direct = r->BuildBand(inRate, pass, stop, nullptr);
  }
  if (!direct) {
    r->up_ = 1;
    r->down_ = 1;
    if (in < 2 * low) {
      while (in * r->up_ < 2 * low) r->up_ *= 2;
    } else {
      while (r->down_ < kMaxDown && in % (2 * r->down_) == 0 && in / (2 * r->down_) >= 2 * low) {
        r->down_ *= 2;
      }
    }
    if (!r->BuildBand(inRate, pass, stop, error)) return nullptr;
  }
  const double middle =
      static_cast<double>(in) * static_cast<double>(r->up_) / static_cast<double>(r->down_);
  r->middleRate_ = static_cast<int32_t>(std::lround(middle));
  const uint64_t bIn = in * r->up_, bOut = out * r->down_, gb = Gcd(bIn, bOut);
  r->lb_ = bOut / gb;
  r->mb_ = bIn / gb;
  // The middle-rate signal holds nothing above `stop`, so its first image begins at
  // middle - stop: the second stage stops from there.
  if (!direct && !r->BuildPolyphase(pass / middle, 1.0 - stop / middle, error)) {
    return nullptr;
  }

  // How far the output runs behind: the first stage's delay, half the second stage's
  // filter, rounding, and one block's step, so that whole blocks always cover what is
  // due and a block is never transformed twice.
  const double bandDelay = static_cast<double>(r->bandDrop_) * static_cast<double>(r->down_) /
                           static_cast<double>(r->up_);
  const double polyDelay =
      (static_cast<double>(r->taps_) / 2 + 2) * static_cast<double>(in) / middle;
  r->latency_ =
      static_cast<uint64_t>(std::ceil(bandDelay + polyDelay)) + r->down_ + 2 + r->bandStep_;
  r->Reset();
  return r;
}

bool Resampler::BuildBand(int32_t inRate, double pass, double stop, std::string* error) {
  // The filter is designed at the input rate: its response between the bins of a block
  // is the windowed sinc's own (what lies beyond half the input rate is stopband), so
  // the block's spectrum, cut or padded to the output's size, gives the filtered signal
  // at the output's times.
  const double rate = static_cast<double>(inRate);
  const double width = (stop - pass) / rate;
  const double cutoff = 0.5 * (pass + stop) / rate;
  const double length = KaiserLength(kStopbandDb, width);
  if (length > static_cast<double>(kMaxBandTaps)) {
    if (error) *error = "sample rate ratio is too large";
    return false;
  }
  // The centre sits a whole number of output frames (those dropped at the start) after
  // the first tap, at least half the length on; the window ends at the first tap and
  // as far beyond the centre.
  const double up = static_cast<double>(up_), down = static_cast<double>(down_);
  bandDrop_ = static_cast<uint64_t>(std::ceil((length / 2 + 1) * up / down));
  const double centre = static_cast<double>(bandDrop_) * down / up;
  bandTaps_ = static_cast<size_t>(std::ceil(2 * centre));
  // Outputs of a block that lie less than the filter's length after its start have
  // taken in its far end: blocks overlap by at least that much, a whole number of
  // down_ frames.
  const size_t overlap = (bandTaps_ + down_ - 1) / down_ * down_;
  size_t size = 4 * down_;
  while (size < 8 * overlap || size < kMinBlock) size *= 2;
  bandSize_ = size;
  bandStep_ = size - overlap;
  const size_t outSize = size / down_ * up_;
  if (!Fft::Supported(size) || !Fft::Supported(outSize) || outSize > kMaxBlock ||
      size > kMaxBlock) {
    if (error) *error = "sample rate ratio is too large";
    return false;
  }
  fftIn_.reset(new Fft(size));
  fftOut_.reset(new Fft(outSize));

  std::vector<double> storage;
  double* h = AlignedZeros(&storage, 2 * size);
  const double beta = KaiserBeta(kStopbandDb), i0Beta = BesselI0(beta);
  double sum = 0;
  for (size_t j = 0; j < bandTaps_; ++j) {
    h[2 * j] = KaiserSinc(static_cast<double>(j) - centre, cutoff, centre, beta, i0Beta);
    sum += h[2 * j];
  }
  // Unity gain at DC.
  const double scale = 1.0 / sum / static_cast<double>(size);
  fftIn_->Forward(h);

  // Only the band below the lower of the two Nyquist frequencies passes.
  const size_t band = std::min(size, outSize) / 2;
  auto add = [&](size_t from, size_t to) {
    binFrom_.push_back(static_cast<uint32_t>(fftIn_->BinIndex(from)));
    binTo_.push_back(static_cast<uint32_t>(fftOut_->BinIndex(to)));
    const double* v = h + 2 * fftIn_->BinIndex(from);
    const double re = v[0] * scale, im = v[1] * scale;
    binGain_.insert(binGain_.end(), {re, re, -im, im});
  };
  for (size_t b = 0; b < band; ++b) add(b, b);
  for (size_t b = 1; b < band; ++b) add(size - b, outSize - b);
  // Taken in the order they sit in the input spectrum, the bins are read one after the
  // other; only the writes jump about.
  {
    std::vector<size_t> order(binFrom_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return binFrom_[a] < binFrom_[b]; });
    std::vector<uint32_t> from(order.size()), to(order.size());
    std::vector<double> gain(binGain_.size());
    for (size_t i = 0; i < order.size(); ++i) {
      from[i] = binFrom_[order[i]];
      to[i] = binTo_[order[i]];
      std::copy(binGain_.begin() + 4 * order[i], binGain_.begin() + 4 * order[i] + 4,
                gain.begin() + 4 * i);
    }
    binFrom_.swap(from);
    binTo_.swap(to);
    binGain_.swap(gain);
  }
  // The output bins no input bin reaches: zeroed before each block.
  std::vector<bool> reached(outSize, false);
  for (uint32_t to : binTo_) reached[to] = true;
  for (size_t b = 0; b < outSize; ++b) {
    if (!reached[b]) zeroBins_.push_back(static_cast<uint32_t>(b));
  }

  // The two common shapes of power-of-two blocks get the fused filter: the response by
  // place in the input.
  bandShape_ = kGenericShape;
  if (down_ == 1 && (up_ == 1 || up_ == 2) && (size & (size - 1)) == 0) {
    bandShape_ = up_ == 1 ? kSameShape : kDoubleShape;
    placeGain_.assign(4 * size, 0.0);
    for (size_t b = 0; b < binFrom_.size(); ++b) {
      const size_t p = binFrom_[b];
      const size_t expected = up_ == 1 ? p : 2 * p + (p & 1);
      if (binTo_[b] != expected) bandShape_ = kGenericShape;
      std::copy(binGain_.begin() + 4 * b, binGain_.begin() + 4 * b + 4, placeGain_.begin() + 4 * p);
    }
  }

  blockIn_ = AlignedZeros(&blockStorage_, 2 * pairs_ * size + 2 * size + 2 * outSize);
  work_ = blockIn_ + 2 * pairs_ * size;
  spectrum_ = work_ + 2 * size;
  return true;
}

bool Resampler::BuildPolyphase(double pass, double stop, std::string* error) {
  // Frequencies in cycles per middle-rate frame.
  const double width = stop - pass;
  const double cutoff = 0.5 * (pass + stop);
  const double length = KaiserLength(kSecondStopbandDb, width);
  taps_ = (static_cast<size_t>(std::ceil(length)) + 1) / 2 * 2;
  stepWhole_ = mb_ / lb_;
  stepFrac_ = mb_ % lb_;
  size_t rows;
  if (lb_ <= kMaxExactPhases) {
    exact_ = true;
    phases_ = static_cast<size_t>(lb_);
    rows = phases_;
  } else {
    exact_ = false;
    phases_ = kInterpolatedPhases;
    rows = phases_ + 1;
  }
  if (taps_ > 1024) {
    if (error) *error = "sample rate ratio needs too large a filter";
    return false;
  }
  table_ = AlignedZeros(&tableStorage_, rows * taps_);
  const double half = static_cast<double>(taps_) / 2;
  const double beta = KaiserBeta(kSecondStopbandDb), i0Beta = BesselI0(beta);
  std::vector<double> row(taps_);
  for (size_t p = 0; p < rows; ++p) {
    double sum = 0.0;
    for (size_t j = 0; j < taps_; ++j) {
      // Tap j of phase p weighs the frame at distance t from the output's position.
      const double t = static_cast<double>(p) / static_cast<double>(phases_) + half - 1.0 -
                       static_cast<double>(j);
      row[j] = KaiserSinc(t, cutoff, half, beta, i0Beta);
      sum += row[j];
    }
    // Unity gain at DC for every phase, so silence and constants pass without ripple.
    double* outRow = table_ + p * taps_;
    for (size_t j = 0; j < taps_; ++j) outRow[j] = row[j] / sum;
  }
  return true;
}

void Resampler::Reset() {
  std::fill(blockIn_, blockIn_ + 2 * pairs_ * bandSize_, 0.0);
  bandFill_ = bandSize_ - bandStep_;
  bandDropped_ = 0;
  capacity_ = taps_ + 2 * bandStep_ * up_ / down_ + 64;
  hist_ = AlignedZeros(&histStorage_, pairs_ * 2 * capacity_);
  // The second stage's stream starts taps/2 - 1 frames into its history, after silence.
  count_ = taps_ > 0 ? taps_ / 2 - 1 : 0;
  start_ = 0;
  phase_ = 0;
  inTotal_ = 0;
  outTotal_ = 0;
}

void Resampler::Feed(const double* in, size_t frames) {
  const auto channels = static_cast<size_t>(channels_);
  while (frames > 0) {
    const size_t n = std::min(frames, bandSize_ - bandFill_);
    for (size_t p = 0; p < pairs_; ++p) {
      double* dst = blockIn_ + 2 * (p * bandSize_ + bandFill_);
      const bool second = 2 * p + 1 < channels;
      if (!in) {
        std::fill(dst, dst + 2 * n, 0.0);
        continue;
      }
      const double* src = in + 2 * p;
      for (size_t f = 0; f < n; ++f, src += channels) {
        dst[2 * f] = src[0];
        dst[2 * f + 1] = second ? src[1] : 0.0;
      }
    }
    bandFill_ += n;
    if (in) in += n * channels;
    frames -= n;
    if (bandFill_ == bandSize_) RunBlock();
  }
}

void Resampler::Compact() {
  const size_t shift = std::min(start_, count_);
  if (shift == 0) return;
  for (size_t p = 0; p < pairs_; ++p) {
    double* h = pairHist(p);
    std::memmove(h, h + 2 * shift, (count_ - shift) * 2 * sizeof(double));
  }
  count_ -= shift;
  start_ -= shift;
}

void Resampler::RunBlock() {
  const size_t outSize = fftOut_->size();
  const size_t made = bandStep_ * up_ / down_;
  const size_t head = bandSize_ - bandStep_;  // the overlap with the block before
  const size_t fresh = made;
  const size_t skip = static_cast<size_t>(std::min<uint64_t>(fresh, bandDrop_ - bandDropped_));
  const size_t keep = fresh - skip;
  if (count_ + keep > capacity_) Compact();
  if (count_ + keep > capacity_) {
    // Output held back by a caller's limit: make room, keeping each pair's frames.
    const size_t grown = std::max(capacity_ * 2, count_ + keep);
    std::vector<double> storage;
    double* bigger = AlignedZeros(&storage, pairs_ * 2 * grown);
    for (size_t p = 0; p < pairs_; ++p) {
      std::memcpy(bigger + p * 2 * grown, pairHist(p), count_ * 2 * sizeof(double));
    }
    histStorage_.swap(storage);
    hist_ = bigger;
    capacity_ = grown;
  }
  for (size_t p = 0; p < pairs_; ++p) {
    double* block = blockIn_ + 2 * p * bandSize_;
    // The transform goes to the work area: the block's tail is the next block's head.
    fftIn_->Forward(block, work_);
    double* y = spectrum_;
    if (bandShape_ == kSameShape) {
      y = work_;
      FilterSameSize(y, placeGain_.data(), outSize);
      fftOut_->InverseRest(y);
    } else if (bandShape_ == kDoubleShape) {
      FilterDoubleSize(work_, placeGain_.data(), bandSize_, y);
      fftOut_->InverseRest(y);
    } else {
      for (uint32_t z : zeroBins_) y[2 * z] = y[2 * z + 1] = 0.0;
      FilterBins(work_, y, binFrom_.data(), binTo_.data(), binGain_.data(), binFrom_.size());
      fftOut_->Inverse(y);
    }
    const double* first = y + 2 * (outSize - made + skip);
    std::memcpy(pairHist(p) + 2 * count_, first, keep * 2 * sizeof(double));
    std::memmove(block, block + 2 * bandStep_, head * 2 * sizeof(double));
  }
  count_ += keep;
  bandDropped_ += skip;
  bandFill_ = head;
}

void Resampler::Produce(uint64_t limit, std::vector<double>* out) {
  if (outTotal_ >= limit) return;
  const auto channels = static_cast<size_t>(channels_);
  if (taps_ == 0) {
    // The first stage's frames are the output: copied out a pair at a time.
    const auto n = static_cast<size_t>(std::min<uint64_t>(count_ - start_, limit - outTotal_));
    if (n == 0) return;
    const size_t old = out->size();
    out->resize(old + n * channels);
    double* o = out->data() + old;
    for (size_t p = 0; p < pairs_; ++p) {
      const double* x = pairHist(p) + 2 * start_;
      if (channels == 2) {
        std::memcpy(o, x, n * 2 * sizeof(double));
      } else {
        const bool second = 2 * p + 1 < channels;
        for (size_t f = 0; f < n; ++f) {
          o[f * channels + 2 * p] = x[2 * f];
          if (second) o[f * channels + 2 * p + 1] = x[2 * f + 1];
        }
      }
    }
    start_ += n;
    outTotal_ += n;
    return;
  }
  if (start_ + taps_ > count_) return;
  // Each output moves at least M/L frames on, so this bounds the outputs now ready.
  uint64_t bound = (static_cast<uint64_t>(count_ - start_ - taps_) + 1) * lb_ / mb_ + 1;
  bound = std::min(bound, limit - outTotal_);
  const size_t old = out->size();
  out->resize(old + static_cast<size_t>(bound) * channels);
  double* o = out->data() + old;
  uint64_t n = 0;
  double lo[2], hi[2];
  while (n < bound && start_ + taps_ <= count_) {
    if (exact_) {
      const double* h = table_ + static_cast<size_t>(phase_) * taps_;
      for (size_t p = 0; p < pairs_; ++p) {
        DotInto(h, pairHist(p) + 2 * start_, taps_, o + 2 * p, 2 * p + 1 < channels);
      }
    } else {
      const uint64_t pos = phase_ * phases_;
      const double* h0 = table_ + static_cast<size_t>(pos / lb_) * taps_;
      const double* h1 = h0 + taps_;
      const double f = static_cast<double>(pos % lb_) / static_cast<double>(lb_);
      for (size_t p = 0; p < pairs_; ++p) {
        DotPair(h0, pairHist(p) + 2 * start_, taps_, &lo[0], &lo[1]);
        DotPair(h1, pairHist(p) + 2 * start_, taps_, &hi[0], &hi[1]);
        o[2 * p] = lo[0] + f * (hi[0] - lo[0]);
        if (2 * p + 1 < channels) o[2 * p + 1] = lo[1] + f * (hi[1] - lo[1]);
      }
    }
    phase_ += stepFrac_;
    start_ += static_cast<size_t>(stepWhole_);
    if (phase_ >= lb_) {
      phase_ -= lb_;
      ++start_;
    }
    o += channels;
    ++n;
  }
  out->resize(old + static_cast<size_t>(n) * channels);
  outTotal_ += n;
}

void Resampler::Process(const double* in, size_t frames, std::vector<double>* out) {
  const auto channels = static_cast<size_t>(channels_);
  while (frames > 0) {
    const size_t n = std::min(frames, bandStep_);
    Feed(in, n);
    inTotal_ += n;
    Produce(DueOutput(inTotal_), out);
    in += n * channels;
    frames -= n;
  }
}

void Resampler::Flush(std::vector<double>* out) {
  const uint64_t target = OutputLimit(inTotal_);
  // Silence after the end lets the filters reach the last outputs; the bound only
  // guards against a loop that would never end.
  for (uint64_t round = 0; outTotal_ < target && round < latency_ / bandStep_ + 8; ++round) {
    Produce(target, out);
    if (outTotal_ >= target) break;
    Feed(nullptr, bandStep_);
  }
  Produce(target, out);
  Reset();
}

}  // namespace tb::pcm
