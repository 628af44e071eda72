#include "base/fault_guard.h"
#include "sources/proxies.h"

namespace tb {
namespace detail {

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
