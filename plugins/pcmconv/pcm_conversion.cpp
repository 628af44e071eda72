#include "plugins/pcmconv/pcm_conversion.h"

#include "base/com.h"

namespace tb::pcmconv {

HRESULT PcmConversion::QueryInterface(REFIID iid, void** out) noexcept {
  // IConversion has no identifier of its own: it is reached only through
  // CreateConversion, so the base identifier gives it.
  const QueryRow rows[] = {{&IID_IUnknown, static_cast<IConversion*>(this)},
                           {&iid_of<IConversionEnd>(), static_cast<IConversionEnd*>(this)}};
  return query_from_table(iid, out, rows);
}

ULONG PcmConversion::Release() noexcept {
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

bool PcmConversion::Convert(const void* data, uint32_t length, int32_t) noexcept {
  outputSize_ = 0;
  try {
    if (!data) return length == 0 && EndStream();
    outputSize_ = converter_->Convert(data, length);
    return true;
  } catch (...) {
    // A block half converted leaves the resampler mid-way; a fresh stream is the only
    // state that is known to be sound.
    converter_->Reset();
    outputSize_ = 0;
    return false;
  }
}

bool PcmConversion::EndStream() noexcept {
  outputSize_ = 0;
  try {
    outputSize_ = converter_->Flush();
    return true;
  } catch (...) {
    converter_->Reset();
    outputSize_ = 0;
    return false;
  }
}

// A byte vector of a 32-bit process never passes 2 GiB, so the size always fits.
int32_t PcmConversion::GetOutputSize() noexcept { return static_cast<int32_t>(outputSize_); }

void* PcmConversion::GetOutputData() noexcept {
  static uint8_t empty;
  if (outputSize_ == 0) return &empty;
  return const_cast<uint8_t*>(converter_->data());
}

}  // namespace tb::pcmconv
