// PCM stream layouts and the conversion of their samples to and from doubles.
//
// The plug-ins carry the SDK's AudioFormat; this code stays free of the SDK headers (they
// pull in the platform's) and uses its own three-field record with the same meaning.
#ifndef TB_PLUGINS_PCM_FORMAT_H
#define TB_PLUGINS_PCM_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

/// Integer samples become doubles with full scale at +-1.0: a sample s of b bits maps to
/// s / 2^(b-1), exactly for every width.
void DecodeSamples(int32_t bitsPerSample, const uint8_t* src, size_t samples, double* dst);

/// Triangular (TPDF) dither of +-1 step of the target width, added before rounding when
/// a stream loses bits: it turns the rounding error into a steady noise that does not
/// depend on the signal, so quiet sounds keep no distortion. The noise comes from a fixed
/// generator, so the same stream always gives the same bytes.
///
/// Silence stays digital silence: a channel whose samples have been zero (below
/// kQuietLevel, -200 dBFS, which also covers the rounding that crosses from the other
/// channel of a resampled pair) for kQuietRun samples in a row gets no dither until it
/// sounds again. The first kQuietRun - 1 such samples after a sound are still dithered;
/// a stream that starts silent is silent from its first sample.
class Dither {
 public:
  static constexpr uint32_t kQuietRun = 16;
  static constexpr double kQuietLevel = 1e-10;

  /// For interleaved frames of `channels` channels.
  explicit Dither(int32_t channels);

  /// Back to the state of a new stream.
  void Reset();

  int32_t channels() const { return static_cast<int32_t>(quiet_.size()); }

  /// The dither for the next sample of channel `channel`, in steps of the target width;
  /// 0 when `value` is silent and the channel is quiet.
  double Next(int32_t channel, double value) {
    uint32_t& run = quiet_[static_cast<size_t>(channel)];
    if (value < kQuietLevel && value > -kQuietLevel) {
      if (run >= kQuietRun) return 0.0;
      ++run;
    } else {
      run = 0;
    }
    // Two uniform values from the top bits of a 64-bit congruential generator.
    seed_ = seed_ * 6364136223846793005u + 1442695040888963407u;
    const auto a = static_cast<uint32_t>(seed_ >> 40);
    seed_ = seed_ * 6364136223846793005u + 1442695040888963407u;
    const auto b = static_cast<uint32_t>(seed_ >> 40);
    return (static_cast<double>(a) - static_cast<double>(b)) * (1.0 / 16777216.0);
  }

 private:
  uint64_t seed_ = 0;
  std::vector<uint32_t> quiet_;
};

/// The reverse of DecodeSamples: scales by 2^(b-1), adds `dither`'s noise when one is
/// given (`samples` then covers whole frames), rounds to nearest (halves upwards) and
/// clips to the integer range. Without dither a double that came from DecodeSamples of
/// the same width comes back bit for bit.
void EncodeSamples(int32_t bitsPerSample, const double* src, size_t samples, uint8_t* dst,
                   Dither* dither = nullptr);

}  // namespace tb::pcm

#endif  // TB_PLUGINS_PCM_FORMAT_H
