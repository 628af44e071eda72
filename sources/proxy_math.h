// The source proxy's arithmetic: bytes per second, the two ratios between the source's
// format and the presented one, and the scaling of sizes, positions and read lengths.
//
// Everything here is total: a value out of range saturates, a ratio that is not a
// positive number gives the "no answer" value named at each function, and nothing
// divides by zero. Plug-ins report formats and positions, so none of it is trusted.
#ifndef TB_SOURCES_PROXY_MATH_H
#define TB_SOURCES_PROXY_MATH_H

#include <cstdint>

namespace tb {

/// Size of the buffer that a converting proxy reads the source's data into.
constexpr std::uint32_t kConversionBufferSize = 215040;  // 0x34800
/// A converting read leaves this much of the caller's buffer for the conversion's
/// rounding, and asks the source for whole blocks of kReadGranule bytes.
constexpr std::uint32_t kReadReserve = 16;
constexpr std::uint32_t kReadGranule = 12;

/// (bitsPerSample / 8, truncated) * channels * sampleRate, or 0 when the format
/// describes no audio: a factor that is not positive, or a product beyond 32 bits.
std::int32_t BytesPerSecond(std::int32_t sampleRate, std::int32_t bitsPerSample,
                            std::int32_t channels);

/// source / target as a 32-bit float. Both must be positive; otherwise 0.
float FormatRatio(std::int32_t source, std::int32_t target);

/// value / ratio, truncated, saturated to 32 bits. 0 for a ratio that is not positive.
std::uint32_t ScaleDown32(std::uint32_t value, float ratio);

/// A source's sample number seen through the presented format: position / (sourceRate /
/// targetRate), truncated, saturated to 32 bits. -1 (no position) when either rate is
/// not positive.
std::int32_t ScaleSamplePosition(std::int32_t position, std::int32_t sourceRate,
                                 std::int32_t targetRate);

/// How many bytes a converting read of `size` bytes asks the source for:
/// (size - reserve) * byteRatio, truncated, at most kConversionBufferSize, rounded down
/// to a multiple of kReadGranule. The reserve is 16 bytes, or two target frames when
/// those are larger (a resampler may deliver one frame more than the ratio says, and
/// the read fails when the output does not fit). A size below the reserve gives 0
/// rather than wrapping.
std::uint32_t ConvertingReadSize(std::uint32_t size, float byteRatio,
                                 std::uint32_t targetFrameBytes = 0);

/// frames x to / from in exact integer arithmetic, saturated to 64 bits; 0 when either
/// rate is not positive. Up rounds toward the next frame: a stream of `frames` frames at
/// rate `from` resampled to `to` is that long. Down truncates: where a position lands.
std::uint64_t ScaleFramesUp(std::uint64_t frames, std::int32_t from, std::int32_t to);
std::uint64_t ScaleFramesDown(std::uint64_t frames, std::int32_t from, std::int32_t to);

/// Counts what goes into one conversion's stream and what comes out, in bytes, and
/// says how many output frames its end still owes: a stream of N whole input frames
/// gives ScaleFramesUp(N, from rate, to rate) output frames in all.
class StreamCount {
 public:
  StreamCount() = default;
  StreamCount(std::uint32_t inFrameBytes, std::int32_t inRate, std::uint32_t outFrameBytes,
              std::int32_t outRate)
      : inFrameBytes_(inFrameBytes),
        outFrameBytes_(outFrameBytes),
        inRate_(inRate),
        outRate_(outRate) {}

  void Reset() { inBytes_ = outBytes_ = 0; }
  void AddInput(std::uint32_t bytes) { inBytes_ += bytes; }
  void AddOutput(std::uint32_t bytes) { outBytes_ += bytes; }

  std::uint64_t input_frames() const { return inFrameBytes_ ? inBytes_ / inFrameBytes_ : 0; }
  std::uint64_t output_frames() const { return outFrameBytes_ ? outBytes_ / outFrameBytes_ : 0; }
  std::uint32_t in_frame_bytes() const { return inFrameBytes_; }
  std::uint32_t out_frame_bytes() const { return outFrameBytes_; }
  std::int32_t in_rate() const { return inRate_; }
  std::int32_t out_rate() const { return outRate_; }
  /// Output frames the stream is still owed; 0 once it has had them all (or more).
  std::uint64_t Owed() const;

 private:
  std::uint32_t inFrameBytes_ = 0;
  std::uint32_t outFrameBytes_ = 0;
  std::int32_t inRate_ = 0;
  std::int32_t outRate_ = 0;
  std::uint64_t inBytes_ = 0;
  std::uint64_t outBytes_ = 0;
};

/// (bitsPerSample / 8) * channels, sign-extended to 64 bits.
std::uint64_t BlockAlign(std::int32_t bitsPerSample, std::int32_t channels);

}  // namespace tb

#endif  // TB_SOURCES_PROXY_MATH_H
