// Band-limited sample rate conversion of interleaved float frames.
#ifndef TB_PLUGINS_PCM_RESAMPLER_H
#define TB_PLUGINS_PCM_RESAMPLER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tb::pcm {

/// A polyphase windowed-sinc (Kaiser) resampler for one stream.
///
/// The low-pass is designed against the lower of the two rates: flat (ripple well under
/// 0.001 dB) up to 0.9 of the lower Nyquist frequency, and down by at least
/// kStopbandDb from the lower Nyquist frequency on, so there is neither aliasing nor
/// imaging. The ratio is kept as an exact fraction L/M (out/in, reduced): when L is small
/// enough the table holds one row of taps per phase and the filter is applied exactly;
/// otherwise the table samples the filter finely and adjacent rows are interpolated
/// linearly, which keeps the error under -125 dB. Positions are counted in integers, so
/// long streams never drift.
///
/// Output frame n sits at input time n*M/L: output and input start together (the filter
/// delay is taken up internally, the stream is taken as silent before its first frame),
/// and after Flush a stream of N input frames has given exactly ceil(N*L/M) output
/// frames. Feeding the same input in any split gives the same output, bit for bit.
class Resampler {
 public:
  static constexpr double kStopbandDb = 120.0;

  /// A resampler from `inRate` to `outRate` (both 1 to 1000000, different) for
  /// `channels` (1 to 256) channels; null with `*error` set when the rates or channel
  /// count are out of range or the ratio needs an unreasonably long filter (beyond
  /// about 200:1 downwards).
  static std::unique_ptr<Resampler> Create(int32_t inRate, int32_t outRate, int32_t channels,
                                           std::string* error);

  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  /// Takes `frames` interleaved frames and appends the output frames that are now
  /// complete to `*out`. May throw std::bad_alloc when `*out` grows.
  void Process(const float* in, size_t frames, std::vector<float>* out);

  /// Ends the stream: appends the remaining output frames (the tail of the filter over
  /// silence) and returns to the state of a new stream.
  void Flush(std::vector<float>* out);

  /// Forgets the stream without producing its tail.
  void Reset();

  /// The most output frames a stream of `inFrames` input frames ever has in total.
  uint64_t OutputLimit(uint64_t inFrames) const { return (inFrames * l_ + m_ - 1) / m_; }

  uint64_t input_frames() const { return inTotal_; }
  uint64_t output_frames() const { return outTotal_; }
  int32_t channels() const { return channels_; }
  size_t taps() const { return taps_; }
  size_t phases() const { return phases_; }
  bool exact() const { return exact_; }

  /// The taps of row `phase` (0 <= phase < phases(), or == phases() when not exact).
  const float* row(size_t phase) const { return table_ + phase * taps_; }

 private:
  Resampler() = default;
  void Append(const float* in, size_t frames);
  void Produce(uint64_t limit, std::vector<float>* out);
  float* hist(int32_t channel) { return hist_.data() + static_cast<size_t>(channel) * capacity_; }

  int32_t channels_ = 0;
  uint64_t l_ = 1;  // l_ output frames take the time of m_ input frames
  uint64_t m_ = 1;
  uint64_t stepWhole_ = 0;
  uint64_t stepFrac_ = 0;
  size_t taps_ = 0;
  size_t phases_ = 0;
  bool exact_ = true;
  std::vector<float> tableStorage_;
  float* table_ = nullptr;  // 16-byte aligned rows of taps_
  // Per channel, capacity_ floats of history: [start_, count_) are the frames not yet
  // consumed; the filter for the next output covers [start_, start_ + taps_).
  std::vector<float> hist_;
  size_t capacity_ = 0;
  size_t count_ = 0;
  size_t start_ = 0;
  uint64_t phase_ = 0;  // position of the next output past start_ + taps/2 - 1, in 1/L
  uint64_t inTotal_ = 0;
  uint64_t outTotal_ = 0;
};

}  // namespace tb::pcm

#endif  // TB_PLUGINS_PCM_RESAMPLER_H
