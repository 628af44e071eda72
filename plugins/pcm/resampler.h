// Band-limited sample rate conversion of interleaved frames in double precision.
#ifndef TB_PLUGINS_PCM_RESAMPLER_H
#define TB_PLUGINS_PCM_RESAMPLER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugins/pcm/fft.h"

namespace tb::pcm {

/// A resampler for one stream.
///
/// The band limiting is an overlap-save FFT low-pass that also changes the rate: each
/// block's spectrum, filtered, is cut or padded to the size of the output's block and
/// transformed back, which gives the filtered signal at the output's times. It passes
/// the band flat (ripple far under 0.001 dB) up to kPassEdge of the lower Nyquist
/// frequency and stops it by kStopbandDb from kStopEdge of it on, so nothing aliases or
/// images into the output; its cost per frame hardly depends on the length of that sharp
/// filter. The ratio is kept as an exact fraction L/M (out/in, reduced). When L and M
/// have no prime factor above 7 (all the common rates), blocks of M*k frames in and L*k
/// out make the whole conversion one stage. Otherwise the FFT stage changes the rate by a
/// power of two, to a rate at least twice the lower of the two, and a second stage, a
/// polyphase windowed-sinc (Kaiser) filter, takes that oversampled signal to the target
/// rate; its transition band is wide, so it is short even at kSecondStopbandDb. When L is
/// small it holds one row of taps per phase, otherwise adjacent rows of a finely sampled
/// filter are interpolated. All arithmetic is double; channels travel in pairs (one
/// complex signal in the transforms, one SSE2 register in the second stage).
///
/// Output frame n sits at input time n*M/L: output and input start together (the
/// filters' delay is taken up internally, the stream is taken as silent before its first
/// frame), and after Flush a stream of N input frames has given exactly ceil(N*L/M)
/// output frames. The output runs a fixed latency() input frames (half the filters'
/// length, one transform block's step and a little) behind the input: after n input
/// frames exactly OutputLimit(n - latency()) frames have come out, so a block of k
/// frames never gives more than ceil(k*L/M) frames. What is due is always covered by
/// whole transform blocks, so each block is transformed once and any split of the input
/// gives the same output, bit for bit.
class Resampler {
 public:
  static constexpr double kStopbandDb = 160.0;
  /// The second stage's filters are short, and their error (the phases' ripple, what is
  /// left of the images) at 160 dB still adds measurably to the noise of a 24-bit
  /// output; at 180 dB it no longer does, for two more taps.
  static constexpr double kSecondStopbandDb = 180.0;
  /// The band edges as parts of the lower Nyquist frequency: flat to 20.1 kHz and stopped
  /// from 21.6 kHz on at 44.1 kHz. Ending the band a little below the Nyquist frequency
  /// also removes more of the source's own rounding noise.
  static constexpr double kPassEdge = 0.912;
  static constexpr double kStopEdge = 0.98;

  /// A resampler from `inRate` to `outRate` (both 1 to 1000000, different) for
  /// `channels` (1 to 256) channels; null with `*error` set when the rates or channel
  /// count are out of range or the ratio needs an unreasonably long filter (beyond
  /// about 200:1 downwards).
  static std::unique_ptr<Resampler> Create(int32_t inRate, int32_t outRate, int32_t channels,
                                           std::string* error);

  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  /// Takes `frames` interleaved frames and appends the output frames that are now due to
  /// `*out`. May throw std::bad_alloc when `*out` grows.
  void Process(const double* in, size_t frames, std::vector<double>* out);

  /// Ends the stream: appends the remaining output frames (the tail of the filter over
  /// silence) and returns to the state of a new stream.
  void Flush(std::vector<double>* out);

  /// Forgets the stream without producing its tail.
  void Reset();

  /// The most output frames a stream of `inFrames` input frames ever has in total.
  uint64_t OutputLimit(uint64_t inFrames) const { return (inFrames * l_ + m_ - 1) / m_; }
  /// Output frames due after `inFrames` input frames, before the stream ends.
  uint64_t DueOutput(uint64_t inFrames) const {
    return inFrames > latency_ ? OutputLimit(inFrames - latency_) : 0;
  }

  uint64_t input_frames() const { return inTotal_; }
  uint64_t output_frames() const { return outTotal_; }
  int32_t channels() const { return channels_; }
  /// Input frames that the output runs behind.
  uint64_t latency() const { return latency_; }
  /// The rate between the two stages, and the taps of each (0 when the second stage is
  /// not needed).
  int32_t middle_rate() const { return middleRate_; }
  size_t band_taps() const { return bandTaps_; }
  size_t taps() const { return taps_; }
  bool exact() const { return exact_; }

 private:
  Resampler() = default;
  bool BuildBand(int32_t inRate, double pass, double stop, std::string* error);
  bool BuildPolyphase(double pass, double stop, std::string* error);
  void Feed(const double* in, size_t frames);
  void RunBlock();
  void Compact();
  void Produce(uint64_t limit, std::vector<double>* out);
  double* pairHist(size_t pair) { return hist_ + pair * 2 * capacity_; }

  int32_t channels_ = 0;
  size_t pairs_ = 0;
  int32_t middleRate_ = 0;
  uint64_t latency_ = 0;
  uint64_t inTotal_ = 0;
  uint64_t outTotal_ = 0;

  // First stage: blocks of bandSize_ input frames advance by bandStep_; each gives
  // bandStep_ * up_ / down_ frames at the middle rate. The first bandDrop_ of those lie
  // before the stream and are dropped.
  size_t up_ = 1;
  size_t down_ = 1;
  size_t bandTaps_ = 0;
  size_t bandSize_ = 0;
  size_t bandStep_ = 0;
  size_t bandFill_ = 0;
  uint64_t bandDrop_ = 0;
  uint64_t bandDropped_ = 0;
  std::unique_ptr<Fft> fftIn_;
  std::unique_ptr<Fft> fftOut_;
  std::vector<uint32_t> binFrom_;   // for each bin passed: its place in the input spectrum,
  std::vector<uint32_t> binTo_;     // its place in the output spectrum,
  std::vector<double> binGain_;     // and the filter's response there (four doubles each)
  std::vector<uint32_t> zeroBins_;  // the output spectrum's places no bin reaches
  enum BandShape { kGenericShape, kSameShape, kDoubleShape };
  BandShape bandShape_ = kGenericShape;
  std::vector<double> placeGain_;  // kSameShape, kDoubleShape: the response by input place
  std::vector<double> blockStorage_;
  double* blockIn_ = nullptr;   // per pair, bandSize_ complex frames
  double* work_ = nullptr;      // the block's transform, bandSize_ complex frames
  double* spectrum_ = nullptr;  // the filtered spectrum, fftOut_ size complex frames

  // Second stage over the middle-rate frames in hist_ (per pair, capacity_ complex
  // frames: [start_, count_) not yet consumed). With taps_ == 0 frames are passed on.
  uint64_t l_ = 1;  // l_ output frames take the time of m_ input frames
  uint64_t m_ = 1;
  uint64_t lb_ = 1;  // the same for the second stage alone
  uint64_t mb_ = 1;
  uint64_t stepWhole_ = 0;
  uint64_t stepFrac_ = 0;
  size_t taps_ = 0;
  size_t phases_ = 0;
  bool exact_ = true;
  std::vector<double> tableStorage_;
  double* table_ = nullptr;  // rows of taps_ taps, each row 16-byte aligned
  std::vector<double> histStorage_;
  double* hist_ = nullptr;  // 16-byte aligned
  size_t capacity_ = 0;
  size_t count_ = 0;
  size_t start_ = 0;
  uint64_t phase_ = 0;
};

}  // namespace tb::pcm

#endif  // TB_PLUGINS_PCM_RESAMPLER_H
