// zqflacenc.dll: the FLAC encoder, on libFLAC (linked statically; its licence travels in
// licences/). One encoder component (kind 4) that makes file sinks through ISinkFactory,
// as the WAVE writer does; the sinks live in flac_sink.cpp.
#include <tunebay/component.h>
#include <tunebay/encoder.h>
#include <windows.h>

#include <new>

#include "base/com.h"
#include "plugins/common/live_objects.h"
#include "plugins/common/plugin_error.h"
#include "plugins/flacenc/flac_sink.h"

namespace tb::flacenc {
namespace {

const char* const kExtensions[] = {"flac"};

class FlacEncoder final : public IComponent, public ISinkFactory, public IExtensionList {
 public:
  FlacEncoder() = default;
  FlacEncoder(const FlacEncoder&) = delete;
  FlacEncoder& operator=(const FlacEncoder&) = delete;

  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    const QueryRow rows[] = {
        {&IID_IUnknown, static_cast<IComponent*>(this)},
        {&iid_of<ISinkFactory>(), static_cast<ISinkFactory*>(this)},
        {&iid_of<IExtensionList>(), static_cast<IExtensionList*>(this)},
    };
    return query_from_table(iid, out, rows);
  }
  ULONG TB_STDCALL AddRef() noexcept override { return count_.Add(); }
  ULONG TB_STDCALL Release() noexcept override {
    const ULONG left = count_.Drop();
    if (left == 0) delete this;
    return left;
  }

  // IComponent
  const char* TB_STDCALL GetName() noexcept override { return "FLAC encoder"; }
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
    FlacSink* made = FlacSink::Create(path, *format, error);
    if (!made) return false;
    *sink = static_cast<ISinkData*>(made);
    return true;
  }

 private:
  ~FlacEncoder() = default;

  plugin::ComponentCount count_;
};

}  // namespace
}  // namespace tb::flacenc

TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  if (!out) return false;
  *out = new (std::nothrow) tb::flacenc::FlacEncoder();
  return *out != nullptr;
}

TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return tb::plugin::NoLiveObjects(); }
