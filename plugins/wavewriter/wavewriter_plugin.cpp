// zqwavewriter.dll: the WAVE writer, the SDK's worked example of an encoder plug-in.
//
// The library's primary audio object is one encoder component (kind 4). The manager
// only catalogues it; a host asks it for a sink through ISinkFactory
// (include/tunebay/encoder.h), usually from the ISinkCreator it hands to
// IManager::CreateSink, which wraps the sink in the library's sink proxy. The sink
// objects live in wave_sink.cpp.
#include <tunebay/component.h>
#include <tunebay/encoder.h>
#include <windows.h>

#include <new>

#include "base/com.h"
#include "plugins/common/live_objects.h"
#include "plugins/common/plugin_error.h"
#include "plugins/wavewriter/wave_sink.h"

namespace tb::wavewriter {
namespace {

// The extensions of the files this encoder writes, so that a host can pick the
// encoder for an output file by its name.
const char* const kExtensions[] = {"wav", "wave"};

class WaveWriter final : public implements_with<WaveWriter, plugin::ComponentCount, IComponent,
                                                ISinkFactory, IExtensionList> {
 public:
  // IComponent
  const char* TB_STDCALL GetName() noexcept override { return "WAVE writer"; }
  int32_t TB_STDCALL GetKind() noexcept override { return kKindEncoder; }
  bool TB_STDCALL Setup(IManager*, IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}

  // IExtensionList
  int32_t TB_STDCALL GetCount() noexcept override {
    return static_cast<int32_t>(sizeof kExtensions / sizeof kExtensions[0]);
  }
  const char* TB_STDCALL GetExtension(int32_t index) noexcept override {
    return index >= 0 && index < GetCount() ? kExtensions[index] : nullptr;
  }

  // ISinkFactory
  bool TB_STDCALL CreateFileSink(const char* path, const AudioFormat* format, IUnknown** sink,
                                 IError** error) noexcept override {
    if (sink) *sink = nullptr;
    if (!path || !*path || !format || !sink) {
      plugin::SetError(error, result::InvalidParameter,
                       "CreateFileSink needs a path, a format and a sink slot");
      return false;
    }
    WaveSink* made = WaveSink::Create(path, *format, error);
    if (!made) return false;
    *sink = static_cast<ISinkData*>(made);
    return true;
  }

 private:
  ~WaveWriter() = default;
  friend struct tb::object_access;
};

}  // namespace
}  // namespace tb::wavewriter

// Each call makes a new component with one reference, which passes to the caller.
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  if (!out) return false;
  *out = new (std::nothrow) tb::wavewriter::WaveWriter();
  return *out != nullptr;
}

// True only when nothing of this library is alive but the catalogue's component
// reference (plugins/common/live_objects.h).
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return tb::plugin::NoLiveObjects(); }
