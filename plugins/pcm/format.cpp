#include "plugins/pcm/format.h"

#include <cmath>

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

void DecodeSamples(int32_t bitsPerSample, const uint8_t* src, size_t samples, float* dst) {
  switch (bitsPerSample) {
    case 8:
      for (size_t i = 0; i < samples; ++i) dst[i] = (static_cast<int>(src[i]) - 128) * (1.0f / 128);
      break;
    case 16:
      for (size_t i = 0; i < samples; ++i, src += 2) {
        const auto v = static_cast<int16_t>(static_cast<uint16_t>(src[0] | (src[1] << 8)));
        dst[i] = v * (1.0f / 32768);
      }
      break;
    case 24:
      for (size_t i = 0; i < samples; ++i, src += 3) {
        // Build the value in the top 24 bits so the arithmetic shift sign-extends it.
        const uint32_t u = (static_cast<uint32_t>(src[0]) << 8) |
                           (static_cast<uint32_t>(src[1]) << 16) |
                           (static_cast<uint32_t>(src[2]) << 24);
        dst[i] = static_cast<float>(static_cast<int32_t>(u) >> 8) * (1.0f / 8388608);
      }
      break;
    case 32:
      for (size_t i = 0; i < samples; ++i, src += 4) {
        const uint32_t u = static_cast<uint32_t>(src[0]) | (static_cast<uint32_t>(src[1]) << 8) |
                           (static_cast<uint32_t>(src[2]) << 16) |
                           (static_cast<uint32_t>(src[3]) << 24);
        dst[i] =
            static_cast<float>(static_cast<double>(static_cast<int32_t>(u)) * (1.0 / 2147483648.0));
      }
      break;
    default:
      break;
  }
}

namespace {

// Rounds v (already scaled to the integer range of a sample of 24 bits or fewer) to the
// nearest integer, halves upwards, clipped to [lo, hi]. The offset makes the value
// positive so truncation is floor; every step is exact in double.
inline int32_t RoundClip(double v, double lo, double hi) {
  if (!(v >= lo)) v = lo;  // also catches NaN
  if (v > hi) v = hi;
  return static_cast<int32_t>(v + 16777216.5) - 16777216;
}

}  // namespace

void EncodeSamples(int32_t bitsPerSample, const float* src, size_t samples, uint8_t* dst) {
  switch (bitsPerSample) {
    case 8:
      for (size_t i = 0; i < samples; ++i) {
        dst[i] = static_cast<uint8_t>(RoundClip(src[i] * 128.0, -128, 127) + 128);
      }
      break;
    case 16:
      for (size_t i = 0; i < samples; ++i, dst += 2) {
        const auto v = static_cast<uint32_t>(RoundClip(src[i] * 32768.0, -32768, 32767));
        dst[0] = static_cast<uint8_t>(v);
        dst[1] = static_cast<uint8_t>(v >> 8);
      }
      break;
    case 24:
      for (size_t i = 0; i < samples; ++i, dst += 3) {
        const auto v = static_cast<uint32_t>(RoundClip(src[i] * 8388608.0, -8388608, 8388607));
        dst[0] = static_cast<uint8_t>(v);
        dst[1] = static_cast<uint8_t>(v >> 8);
        dst[2] = static_cast<uint8_t>(v >> 16);
      }
      break;
    case 32:
      for (size_t i = 0; i < samples; ++i, dst += 4) {
        double v = std::floor(src[i] * 2147483648.0 + 0.5);
        if (!(v >= -2147483648.0)) v = -2147483648.0;
        if (v > 2147483647.0) v = 2147483647.0;
        const auto u = static_cast<uint32_t>(static_cast<int32_t>(v));
        dst[0] = static_cast<uint8_t>(u);
        dst[1] = static_cast<uint8_t>(u >> 8);
        dst[2] = static_cast<uint8_t>(u >> 16);
        dst[3] = static_cast<uint8_t>(u >> 24);
      }
      break;
    default:
      break;
  }
}

}  // namespace tb::pcm
