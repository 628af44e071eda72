#include "plugins/codec/codec_component.h"

#include <windows.h>

#include <new>

#include "base/com.h"
#include "plugins/common/live_objects.h"
#include "plugins/common/plugin_error.h"

namespace tb::codec {
namespace {

// As the WAVE decoder's: the library asks for kOpenWithProxy whenever it wraps a source.
const uint32_t kFeatureMask = kOpenWithProxy;

// ISourceOpener's two tables come from deriving from it, as in the WAVE decoder.
class DecoderComponent final : public IComponent,
                               public ISourceOpener,
                               public IExtensionList,
                               public IComponentIdentity,
                               public IComponentAbout {
 public:
  DecoderComponent(const DecoderTraits& traits, OpenFunction open)
      : traits_(traits), open_(std::move(open)) {}
  DecoderComponent(const DecoderComponent&) = delete;
  DecoderComponent& operator=(const DecoderComponent&) = delete;

  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    if (out && same_iid(iid, iid_of<ISourceOpener>())) {
      AddRef();
      *out = static_cast<ISourceOpener*>(this);
      return S_OK;
    }
    const QueryRow rows[] = {
        {&IID_IUnknown, static_cast<IComponent*>(this)},
        {&iid_of<IExtensionList>(), static_cast<IExtensionList*>(this)},
        {&iid_of<IComponentIdentity>(), static_cast<IComponentIdentity*>(this)},
        {&iid_of<IComponentAbout>(), static_cast<IComponentAbout*>(this)},
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
  const char* TB_STDCALL GetName() noexcept override { return traits_.name; }
  int32_t TB_STDCALL GetKind() noexcept override { return kKindDecoder; }
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
    if ((requiredMask & ~kFeatureMask) != 0 || (excludedMask & kFeatureMask) != 0) {
      plugin::SetError(error, result::CallNotImplemented,
                       "the decoder does not offer the features asked for");
      return false;
    }
    CodecSource* opened = CodecSource::Open(name, traits_.kind, open_, error);
    if (!opened) return false;
    *source = static_cast<ISourceData*>(opened);
    return true;
  }

  // ISourceOpener, second table
  uint32_t TB_STDCALL GetCapabilities() noexcept override { return kCapabilityOpensSources; }

  // IExtensionList
  int32_t TB_STDCALL GetCount() noexcept override { return traits_.extensionCount; }
  const char* TB_STDCALL GetExtension(int32_t index) noexcept override {
    return index >= 0 && index < traits_.extensionCount ? traits_.extensions[index] : nullptr;
  }

  // IComponentIdentity
  bool TB_STDCALL GetClassId(GUID* id) noexcept override {
    if (!id) return false;
    *id = traits_.classId;
    return true;
  }

  // IComponentAbout
  const char* TB_STDCALL GetVendor() noexcept override { return "Tunebay reference plug-ins"; }
  bool TB_STDCALL HasAboutBox() noexcept override { return false; }
  void TB_STDCALL ShowAboutBox() noexcept override {}

 private:
  ~DecoderComponent() = default;

  const DecoderTraits traits_;
  const OpenFunction open_;
  plugin::ComponentCount count_;
};

}  // namespace

IComponent* NewDecoderComponent(const DecoderTraits& traits, OpenFunction open) noexcept {
  try {
    return new DecoderComponent(traits, std::move(open));
  } catch (...) {
    return nullptr;
  }
}

}  // namespace tb::codec
