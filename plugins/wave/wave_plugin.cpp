// zqwave.dll: the WAVE decoder, the SDK's worked example of a decoder plug-in.
//
// The library's primary audio object is one decoder component (kind 3). The manager
// sets it up, lists it in its catalogue and, for a file whose extension is "wav" or
// "wave" (and later for every other file too), asks its ISourceOpener to open it. The
// source objects live in wave_source.cpp.
#include <tunebay/component.h>
#include <windows.h>

#include <new>

#include "base/com.h"
#include "plugins/common/live_objects.h"
#include "plugins/common/plugin_error.h"
#include "plugins/wave/wave_source.h"

namespace tb::wave {
namespace {

// The feature mask that OpenSource's required and excluded masks are tested against.
// The library asks for kOpenWithProxy whenever it is to wrap the source in its proxy,
// so a decoder without that bit is never chosen for a wrapped request.
const uint32_t kFeatureMask = kOpenWithProxy;

// The component's class identifier: what the user's decoder order stores for it.
const GUID kClassId = {
    0x80656E48, 0x0033, 0x4B3B, {0xBA, 0x45, 0x56, 0xE3, 0xE5, 0x31, 0x0C, 0xA7}};

const char* const kExtensions[] = {"wav", "wave"};
const int32_t kExtensionCount = static_cast<int32_t>(sizeof kExtensions / sizeof kExtensions[0]);

// ISourceOpener has two tables on one object: QueryInterface hands out the first (the
// ISourceOpenerOps part, GetFeatureMask and Open), and the caller releases that
// reference through the second (ISourceOpenerUnknown), which sits one pointer further
// on. Deriving from ISourceOpener gives exactly that layout, and the converted pointer
// that implements<> hands out is the address of the first table.
class WaveDecoder final
    : public implements_with<WaveDecoder, plugin::ComponentCount, IComponent, ISourceOpener,
                             IExtensionList, IComponentIdentity, IComponentAbout> {
 public:
  // IComponent
  const char* TB_STDCALL GetName() noexcept override { return "WAVE decoder"; }
  int32_t TB_STDCALL GetKind() noexcept override { return kKindDecoder; }
  // Nothing to prepare: the decoder keeps no reference to the manager.
  bool TB_STDCALL Setup(IManager*, IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}

  // ISourceOpener, first table
  uint32_t TB_STDCALL GetFeatureMask() noexcept override { return kFeatureMask; }
  bool TB_STDCALL Open(const char* name, IUnknown** source, uint32_t requiredMask,
                       uint32_t excludedMask, IError** error) noexcept override {
    if (!source) {
      plugin::SetError(error, result::InvalidParameter, "no source slot was given");
      return false;
    }
    *source = nullptr;
    // The library filters on the masks before it calls; a host calling directly gets
    // the same answer here.
    if ((requiredMask & ~kFeatureMask) != 0 || (excludedMask & kFeatureMask) != 0) {
      plugin::SetError(error, result::CallNotImplemented,
                       "the WAVE decoder does not offer the features asked for");
      return false;
    }
    WaveSource* opened = WaveSource::Open(name, error);
    if (!opened) return false;
    *source = static_cast<ISourceData*>(opened);
    return true;
  }

  // ISourceOpener, second table
  uint32_t TB_STDCALL GetCapabilities() noexcept override { return kCapabilityOpensSources; }

  // IExtensionList
  int32_t TB_STDCALL GetCount() noexcept override { return kExtensionCount; }
  const char* TB_STDCALL GetExtension(int32_t index) noexcept override {
    return index >= 0 && index < kExtensionCount ? kExtensions[index] : nullptr;
  }

  // IComponentIdentity
  bool TB_STDCALL GetClassId(GUID* id) noexcept override {
    if (!id) return false;
    *id = kClassId;
    return true;
  }

  // IComponentAbout
  const char* TB_STDCALL GetVendor() noexcept override { return "Tunebay reference plug-ins"; }
  bool TB_STDCALL HasAboutBox() noexcept override { return false; }
  void TB_STDCALL ShowAboutBox() noexcept override {}

 private:
  ~WaveDecoder() = default;
  friend struct tb::object_access;
};

}  // namespace
}  // namespace tb::wave

// Each call makes a new component with one reference, which passes to the caller.
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  if (!out) return false;
  *out = new (std::nothrow) tb::wave::WaveDecoder();
  return *out != nullptr;
}

// True only when nothing of this library is alive but the catalogue's component
// reference (plugins/common/live_objects.h).
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return tb::plugin::NoLiveObjects(); }
