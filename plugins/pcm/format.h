// PCM stream layouts and the conversion of their samples to and from floats.
//
// The plug-ins carry the SDK's AudioFormat; this code stays free of the SDK headers (they
// pull in the platform's) and uses its own three-field record with the same meaning.
#ifndef TB_PLUGINS_PCM_FORMAT_H
#define TB_PLUGINS_PCM_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace tb::pcm {

/// Interleaved little-endian integer PCM: 8-bit samples are unsigned (offset 128), wider
/// ones signed two's complement.
struct Format {
  int32_t sampleRate;     ///< frames per second
  int32_t bitsPerSample;  ///< 8, 16, 24 or 32
  int32_t channels;       ///< interleaved channels in a frame
};

inline bool operator==(const Format& a, const Format& b) {
  return a.sampleRate == b.sampleRate && a.bitsPerSample == b.bitsPerSample &&
         a.channels == b.channels;
}
inline bool operator!=(const Format& a, const Format& b) { return !(a == b); }

const int32_t kMaxSampleRate = 1000000;
const int32_t kMaxChannels = 256;

/// Whether `format` is one this code converts; when not, `*why` (if given) says which
/// field is wrong.
bool IsSupported(const Format& format, std::string* why);

/// Bytes of one sample of one channel, and of one frame (all channels).
inline size_t SampleBytes(const Format& f) { return static_cast<size_t>(f.bitsPerSample / 8); }
inline size_t FrameBytes(const Format& f) {
  return SampleBytes(f) * static_cast<size_t>(f.channels);
}

/// Integer samples become floats with full scale at +-1.0: a sample s of b bits maps to
/// s / 2^(b-1), so 8-, 16- and 24-bit values are exact and 32-bit ones keep 24 bits.
void DecodeSamples(int32_t bitsPerSample, const uint8_t* src, size_t samples, float* dst);

/// The reverse of DecodeSamples: scales by 2^(b-1), rounds to nearest (halves upwards)
/// and clips to the integer range, so a float that came from DecodeSamples of the same
/// width comes back bit for bit. No dither: the output is deterministic.
void EncodeSamples(int32_t bitsPerSample, const float* src, size_t samples, uint8_t* dst);

}  // namespace tb::pcm

#endif  // TB_PLUGINS_PCM_FORMAT_H
