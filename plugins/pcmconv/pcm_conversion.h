// One conversion of the PCM convertor: a stream from one PCM format to another.
//
// Convert takes the stream in blocks of any size and keeps its output until the next
// Convert. The library's proxies feed blocks and never say where the stream ends, so
// each Convert gives out everything that can be computed so far: a block need not end
// on a frame (the partial frame waits for the next block), and when the rates differ
// the resampler holds back the last few milliseconds (half its filter's length) for
// want of the input that follows them.
//
// The end of the stream comes through IConversionEnd (the SDK's conversion.h), which
// the library's proxies ask for: its output is what the resampler still holds, and the
// conversion starts a new stream afterwards. Convert(nullptr, 0, 0) does the same, for
// hosts that drive a conversion themselves; a zero length with a data pointer is an
// empty block and gives no output.
#ifndef TB_PLUGINS_PCMCONV_PCM_CONVERSION_H
#define TB_PLUGINS_PCMCONV_PCM_CONVERSION_H

#include <tunebay/conversion.h>
#include <windows.h>

#include <memory>

#include "plugins/common/live_objects.h"
#include "plugins/pcm/converter.h"

namespace tb::pcmconv {

/// pcm::Format from the SDK's record.
inline pcm::Format ToPcm(const AudioFormat& f) {
  return pcm::Format{f.sampleRate, f.bitsPerSample, f.channels};
}

class PcmConversion final : public IConversion, public IConversionEnd {
 public:
  explicit PcmConversion(std::unique_ptr<pcm::Converter> converter) noexcept
      : converter_(std::move(converter)) {}
  PcmConversion(const PcmConversion&) = delete;
  PcmConversion& operator=(const PcmConversion&) = delete;

  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override;
  ULONG TB_STDCALL AddRef() noexcept override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG TB_STDCALL Release() noexcept override;

  /// False when `data` is null with a length above 0, or when memory runs out (the
  /// stream then starts afresh); the output is empty after a false result.
  bool TB_STDCALL Convert(const void* data, uint32_t length, int32_t reserved) noexcept override;
  int32_t TB_STDCALL GetOutputSize() noexcept override;
  /// Never null, also when the output is empty.
  void* TB_STDCALL GetOutputData() noexcept override;
  /// The resampler's tail; also what Convert(nullptr, 0, 0) gives.
  bool TB_STDCALL EndStream() noexcept override;

 private:
  ~PcmConversion() = default;

  // First, so that it is destroyed last: the library counts as in use until every
  // other member is gone.
  plugin::LiveObject live_;
  LONG refs_ = 1;
  std::unique_ptr<pcm::Converter> converter_;
  size_t outputSize_ = 0;
};

}  // namespace tb::pcmconv

#endif  // TB_PLUGINS_PCMCONV_PCM_CONVERSION_H
