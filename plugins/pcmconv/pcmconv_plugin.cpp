// zqpcmconv.dll: the PCM convertor, the SDK's worked example of a convertor plug-in.
//
// The library's primary audio object is one convertor component (kind 5). The manager
// keeps the first convertor it finds and asks it for a conversion whenever a proxy must
// deliver audio in another format than the source's, or accept it in another format
// than the sink's. It converts between any two integer PCM formats of 8, 16, 24 or 32
// bits, 1 to 256 channels and 1 Hz to 1 MHz: sample width, channel count (up- and
// down-mix) and rate (a band-limited resampler); pcm_conversion.h has the stream rules.
#include <tunebay/component.h>
#include <windows.h>

#include <new>
#include <string>

#include "base/com.h"
#include "plugins/common/live_objects.h"
#include "plugins/pcmconv/pcm_conversion.h"

namespace tb::pcmconv {
namespace {

class PcmConvertor final : public implements_with<PcmConvertor, plugin::ComponentCount, IComponent,
                                                  IConvertor, IConvertorSetup> {
 public:
  // IComponent
  const char* TB_STDCALL GetName() noexcept override { return "PCM convertor"; }
  int32_t TB_STDCALL GetKind() noexcept override { return kKindConvertor; }
  bool TB_STDCALL Setup(IManager*, IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}

  // IConvertor. Both operations build the converter: the resampler refuses ratios
  // that would need an unreasonably long filter, and only building it tells.
  bool TB_STDCALL CanConvert(const AudioFormat* from, const AudioFormat* to) noexcept override {
    if (!from || !to) return false;
    try {
      std::string error;
      return pcm::Converter::Create(ToPcm(*from), ToPcm(*to), &error) != nullptr;
    } catch (...) {
      return false;
    }
  }
  bool TB_STDCALL CreateConversion(const AudioFormat* from, const AudioFormat* to,
                                   IConversion** conversion, int32_t) noexcept override {
    if (!conversion) return false;
    *conversion = nullptr;
    if (!from || !to) return false;
    try {
      std::string error;
      pcm::ConvertOptions options;
      options.dither = InterlockedCompareExchange(&noDither_, 0, 0) == 0;
      std::unique_ptr<pcm::Converter> converter =
          pcm::Converter::Create(ToPcm(*from), ToPcm(*to), &error, options);
      if (!converter) return false;
      *conversion = new PcmConversion(std::move(converter));
      return true;
    } catch (...) {
      return false;
    }
  }

  // IConvertorSetup: the sink proxy calls Prepare(1) before CreateConversion, which
  // needs nothing prepared; a host may switch dither off and on for later conversions.
  bool TB_STDCALL Prepare(int32_t value) noexcept override {
    if (value == kPrepareDitherOff || value == kPrepareDitherOn) {
      InterlockedExchange(&noDither_, value == kPrepareDitherOff ? 1 : 0);
      return true;
    }
    return value == kPrepareConversion;
  }

 private:
  ~PcmConvertor() = default;
  friend struct tb::object_access;

  LONG noDither_ = 0;
};

}  // namespace
}  // namespace tb::pcmconv

// Each call makes a new component with one reference, which passes to the caller.
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  if (!out) return false;
  *out = new (std::nothrow) tb::pcmconv::PcmConvertor();
  return *out != nullptr;
}

// True only when nothing of this library is alive but the catalogue's component
// reference (plugins/common/live_objects.h).
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return tb::plugin::NoLiveObjects(); }
