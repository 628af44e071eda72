#include "sources/proxy_math.h"

#include <cmath>
#include <limits>

namespace tb {

namespace {

// Truncates toward zero and clamps into [low, high]; NaN gives 0. Converting a double
// outside the target type's range is undefined, so the clamp comes first.
template <class T>
T TruncateClamped(double value, double low, double high) {
  if (std::isnan(value)) return 0;
  value = std::trunc(value);
  if (value <= low) return static_cast<T>(low);
  if (value >= high) return std::numeric_limits<T>::max();
  return static_cast<T>(value);
}

std::uint32_t ToU32(double value) {
  return TruncateClamped<std::uint32_t>(value, 0.0, 4294967295.0);
}

bool Positive(float ratio) { return ratio > 0.0f; }  // false for NaN too

}  // namespace

std::int32_t BytesPerSecond(std::int32_t sampleRate, std::int32_t bitsPerSample,
                            std::int32_t channels) {
  const std::int64_t bytes = bitsPerSample / 8;
  if (bytes <= 0 || channels <= 0 || sampleRate <= 0) return 0;
  const std::int64_t frame = bytes * channels;  // below 2^59
  if (frame > std::numeric_limits<std::int32_t>::max()) return 0;
  const std::int64_t perSecond = frame * sampleRate;  // below 2^62
  if (perSecond > std::numeric_limits<std::int32_t>::max()) return 0;
  return static_cast<std::int32_t>(perSecond);
}

float FormatRatio(std::int32_t source, std::int32_t target) {
  if (source <= 0 || target <= 0) return 0.0f;
  return static_cast<float>(static_cast<double>(source) / static_cast<double>(target));
}

std::uint32_t ScaleDown32(std::uint32_t value, float ratio) {
  if (!Positive(ratio)) return 0;
  return ToU32(static_cast<double>(value) / static_cast<double>(ratio));
}

std::int32_t ScaleSamplePosition(std::int32_t position, std::int32_t sourceRate,
                                 std::int32_t targetRate) {
  const float ratio = FormatRatio(sourceRate, targetRate);
  if (!Positive(ratio)) return -1;
  return TruncateClamped<std::int32_t>(static_cast<double>(position) / ratio, -2147483648.0,
                                       2147483647.0);
}

std::uint32_t ConvertingReadSize(std::uint32_t size, float byteRatio,
                                 std::uint32_t targetFrameBytes) {
  // A resampling conversion may give one frame more than the ratio predicts: keep room
  // for two target frames, never less than the usual 16 bytes.
  std::uint64_t reserve = 2ull * targetFrameBytes;
  if (reserve < kReadReserve) reserve = kReadReserve;
  if (size < reserve || !Positive(byteRatio)) return 0;
  const double wanted = static_cast<double>(size - reserve) * byteRatio;
  std::uint32_t n = ToU32(wanted);
  if (n > kConversionBufferSize) n = kConversionBufferSize;
  return n - n % kReadGranule;
}

namespace {

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

// frames x to / from as whole + part / from: the part below `from` times `to` stays
// under 2^62, so only the whole needs an overflow check.
std::uint64_t ScaleFrames(std::uint64_t frames, std::int32_t from, std::int32_t to, bool up) {
  if (from <= 0 || to <= 0) return 0;
  const auto f = static_cast<std::uint64_t>(from);
  const auto t = static_cast<std::uint64_t>(to);
  const std::uint64_t whole = frames / f;
  const std::uint64_t part = frames % f * t;
  if (whole > kMax64 / t) return kMax64;
  const std::uint64_t result = whole * t;
  const std::uint64_t extra = part / f + (up && part % f != 0 ? 1 : 0);
  return result > kMax64 - extra ? kMax64 : result + extra;
}

}  // namespace

std::uint64_t ScaleFramesUp(std::uint64_t frames, std::int32_t from, std::int32_t to) {
  return ScaleFrames(frames, from, to, true);
}

std::uint64_t ScaleFramesDown(std::uint64_t frames, std::int32_t from, std::int32_t to) {
  return ScaleFrames(frames, from, to, false);
}

std::uint64_t StreamCount::Owed() const {
  const std::uint64_t due = ScaleFramesUp(input_frames(), inRate_, outRate_);
  const std::uint64_t given = output_frames();
  return due > given ? due - given : 0;
}

std::uint64_t BlockAlign(std::int32_t bitsPerSample, std::int32_t channels) {
  const std::int64_t frame = static_cast<std::int64_t>(bitsPerSample / 8) * channels;
  return static_cast<std::uint64_t>(frame);
}

}  // namespace tb
