#include "plugins/pcm/format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tb::pcm {

bool IsSupported(const Format& format, std::string* why) {
  const char* problem = nullptr;
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16 && format.bitsPerSample != 24 &&
      format.bitsPerSample != 32) {
    problem = "sample size must be 8, 16, 24 or 32 bits";
  } else if (format.channels < 1 || format.channels > kMaxChannels) {
    problem = "channel count must be 1 to 256";
  } else if (format.sampleRate < 1 || format.sampleRate > kMaxSampleRate) {
    problem = "sample rate must be 1 to 1000000 Hz";
  }
  if (problem && why) {
    *why = std::string(problem) + " (got " + std::to_string(format.sampleRate) + " Hz, " +
           std::to_string(format.bitsPerSample) + " bits, " + std::to_string(format.channels) +
           " channels)";
  }
  return problem == nullptr;
}

void DecodeSamples(int32_t bitsPerSample, const uint8_t* src, size_t samples, double* dst) {
  switch (bitsPerSample) {
    case 8:
      for (size_t i = 0; i < samples; ++i) dst[i] = (static_cast<int>(src[i]) - 128) * (1.0 / 128);
      break;
    case 16:
      for (size_t i = 0; i < samples; ++i, src += 2) {
        const auto v = static_cast<int16_t>(static_cast<uint16_t>(src[0] | (src[1] << 8)));
        dst[i] = v * (1.0 / 32768);
      }
      break;
    case 24: {
      // Build the value in the top 24 bits so the arithmetic shift sign-extends it. On a
      // little-endian machine all but the last sample are read four bytes at once (the
      // fourth belongs to the next sample and is shifted out).
      size_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      for (; i + 1 < samples; ++i, src += 3) {
        uint32_t u;
        std::memcpy(&u, src, 4);
        dst[i] = (static_cast<int32_t>(u << 8) >> 8) * (1.0 / 8388608);
      }
#endif
      for (; i < samples; ++i, src += 3) {
        const uint32_t u = (static_cast<uint32_t>(src[0]) << 8) |
                           (static_cast<uint32_t>(src[1]) << 16) |
                           (static_cast<uint32_t>(src[2]) << 24);
        dst[i] = (static_cast<int32_t>(u) >> 8) * (1.0 / 8388608);
      }
      break;
    }
    case 32:
      for (size_t i = 0; i < samples; ++i, src += 4) {
        const uint32_t u = static_cast<uint32_t>(src[0]) | (static_cast<uint32_t>(src[1]) << 8) |
                           (static_cast<uint32_t>(src[2]) << 16) |
                           (static_cast<uint32_t>(src[3]) << 24);
        dst[i] = static_cast<int32_t>(u) * (1.0 / 2147483648.0);
      }
      break;
    default:
      break;
  }
}

Dither::Dither(int32_t channels) : quiet_(static_cast<size_t>(channels), kQuietRun) {}

void Dither::Reset() {
  seed_ = 0;
  std::fill(quiet_.begin(), quiet_.end(), kQuietRun);
}

namespace {

// Rounds v (already scaled to the integer range of the sample width) to the nearest
// integer, halves upwards, clipped to [lo, hi]. Up to 24 bits an offset makes the value
// positive, so truncation (one instruction) is floor; wider samples take floor itself.
inline int32_t RoundClip(double v, double lo, double hi) {
  if (!(v >= lo)) v = lo;  // also catches NaN
  if (v > hi) v = hi;
  if (hi < 16777216.0) return static_cast<int32_t>(v + 16777216.5) - 16777216;
  v = std::floor(v + 0.5);
  return static_cast<int32_t>(v > hi ? hi : v);
}

// The samples scaled to integer steps of `scale`, dithered when asked, rounded and
// clipped, handed one by one to `put`.
template <typename Put>
void Quantize(const double* src, size_t samples, double scale, double lo, double hi, Dither* dither,
              int32_t channels, Put put) {
  if (!dither) {
    size_t i = 0;
#if defined(__SSE2__)
    if (hi < 16777216.0) {
      // Two at a time: max and min also send not-a-number to the bottom rail.
      const __m128d factor = _mm_set1_pd(scale), bottom = _mm_set1_pd(lo);
      const __m128d top = _mm_set1_pd(hi), offset = _mm_set1_pd(16777216.5);
      for (; i + 1 < samples; i += 2) {
        __m128d v = _mm_mul_pd(_mm_loadu_pd(src + i), factor);
        v = _mm_add_pd(_mm_min_pd(_mm_max_pd(v, bottom), top), offset);
        const __m128i q = _mm_cvttpd_epi32(v);
        put(_mm_cvtsi128_si32(q) - 16777216);
        put(_mm_cvtsi128_si32(_mm_srli_si128(q, 4)) - 16777216);
      }
    }
#endif
    for (; i < samples; ++i) put(RoundClip(src[i] * scale, lo, hi));
    return;
  }
  int32_t c = 0;
  for (size_t i = 0; i < samples; ++i) {
    put(RoundClip(src[i] * scale + dither->Next(c, src[i]), lo, hi));
    if (++c == channels) c = 0;
  }
}

}  // namespace

void EncodeSamples(int32_t bitsPerSample, const double* src, size_t samples, uint8_t* dst,
                   Dither* dither) {
  const int32_t channels = dither ? dither->channels() : 1;
  switch (bitsPerSample) {
    case 8:
      Quantize(src, samples, 128.0, -128, 127, dither, channels,
               [&](int32_t v) { *dst++ = static_cast<uint8_t>(v + 128); });
      break;
    case 16:
      Quantize(src, samples, 32768.0, -32768, 32767, dither, channels, [&](int32_t v) {
        const auto u = static_cast<uint32_t>(v);
        dst[0] = static_cast<uint8_t>(u);
        dst[1] = static_cast<uint8_t>(u >> 8);
        dst += 2;
      });
      break;
    case 24: {
      // On a little-endian machine all but the last sample are written four bytes at
      // once; the fourth is overwritten by the next sample.
      const uint8_t* const last = samples > 0 ? dst + 3 * (samples - 1) : dst;
      Quantize(src, samples, 8388608.0, -8388608, 8388607, dither, channels, [&](int32_t v) {
        const auto u = static_cast<uint32_t>(v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        if (dst != last) {
          std::memcpy(dst, &u, 4);
          dst += 3;
          return;
        }
#endif
        dst[0] = static_cast<uint8_t>(u);
        dst[1] = static_cast<uint8_t>(u >> 8);
        dst[2] = static_cast<uint8_t>(u >> 16);
        dst += 3;
      });
      break;
    }
    case 32:
      Quantize(src, samples, 2147483648.0, -2147483648.0, 2147483647.0, dither, channels,
               [&](int32_t v) {
                 const auto u = static_cast<uint32_t>(v);
                 dst[0] = static_cast<uint8_t>(u);
                 dst[1] = static_cast<uint8_t>(u >> 8);
                 dst[2] = static_cast<uint8_t>(u >> 16);
                 dst[3] = static_cast<uint8_t>(u >> 24);
                 dst += 4;
               });
      break;
    default:
      break;
  }
}

}  // namespace tb::pcm
