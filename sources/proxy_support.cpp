#include <tunebay/conversion.h>

#include "base/fault_guard.h"
#include "sources/proxies.h"

namespace tb {
namespace detail {

namespace {

// Appends the whole frames of the conversion's last output, at most `*owed` of them.
bool TakeOwed(IConversion* conversion, std::uint32_t frameBytes, std::uint64_t* owed,
              std::vector<std::uint8_t>* tail) {
  const std::int32_t size = conversion->GetOutputSize();
  if (size < 0) return false;
  std::uint64_t frames = static_cast<std::uint32_t>(size) / frameBytes;
  if (frames > *owed) frames = *owed;
  if (frames == 0) return true;
  const auto* data = static_cast<const std::uint8_t*>(conversion->GetOutputData());
  if (!data) return false;
  tail->insert(tail->end(), data, data + frames * frameBytes);
  *owed -= frames;
  return true;
}

// Silence blocks stay below this size, whatever the frame size.
constexpr std::uint64_t kSilenceBlockBytes = 1 << 20;

}  // namespace

bool DrainConversion(IConversion* conversion, const StreamCount& count,
                     std::int32_t inBitsPerSample, std::vector<std::uint8_t>* tail) noexcept {
  const std::uint32_t inFrame = count.in_frame_bytes();
  const std::uint32_t outFrame = count.out_frame_bytes();
  if (!conversion || !tail || inFrame == 0 || outFrame == 0) return false;
  try {
    std::uint64_t owed = count.Owed();
    // The conversion's own end is asked for even when nothing is owed: it also starts
    // the conversion's next stream.
    if (com_ptr<IConversionEnd> end = QueryOf<IConversionEnd>(conversion)) {
      return end->EndStream() && TakeOwed(conversion, outFrame, &owed, tail);
    }
    if (owed == 0) return true;
    // Enough silence to give what is owed plus the filter's reach, in blocks.
    std::uint64_t frames = ScaleFramesUp(owed, count.out_rate(), count.in_rate()) + 64;
    if (frames < 256) frames = 256;
    if (frames * inFrame > kSilenceBlockBytes) frames = kSilenceBlockBytes / inFrame;
    if (frames == 0) frames = 1;
    // Unsigned 8-bit samples are silent at their middle.
    const std::vector<std::uint8_t> silence(static_cast<size_t>(frames * inFrame),
                                            inBitsPerSample / 8 == 1 ? 0x80 : 0);
    // A conversion that keeps its output back however much follows gets a few seconds.
    const std::uint64_t limit = 4 * static_cast<std::uint64_t>(count.in_rate()) + frames;
    for (std::uint64_t fed = 0; owed > 0 && fed < limit; fed += frames) {
      conversion->Convert(silence.data(), static_cast<std::uint32_t>(silence.size()), 0);
      if (!TakeOwed(conversion, outFrame, &owed, tail)) return false;
    }
    return owed == 0;
  } catch (...) {
    return false;  // out of memory
  }
}

bool SameFormat(const AudioFormat& a, const AudioFormat& b) noexcept {
  return a.sampleRate == b.sampleRate && a.bitsPerSample == b.bitsPerSample &&
         a.channels == b.channels;
}

bool TakeFormat(const AudioFormat* answered, AudioFormat* out) noexcept {
  if (!answered) return false;
  if (answered != out) *out = *answered;
  return true;
}

// Only the call itself runs inside the guard: a fault unwinds nothing of ours.
bool GuardedStart(ISourceControl* control, int32_t argument) noexcept {
  bool result = false;
  if (!Guarded([&] { result = control->Start(argument); })) return false;
  return result;
}

bool GuardedStop(ISourceControl* control, int32_t argument) noexcept {
  bool result = false;
  if (!Guarded([&] { result = control->Stop(argument); })) return false;
  return result;
}

}  // namespace detail
}  // namespace tb
