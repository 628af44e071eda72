#include "plugins/common/decoder_component.h"

#include <new>

namespace tb::plugin {
namespace {

// The feature mask that Open's required and excluded masks are tested against. The
// library asks for kOpenWithProxy whenever it is to wrap the source in its proxy, so a
// decoder without that bit is never chosen for a wrapped request.
const uint32_t kFeatureMask = kOpenWithProxy;

// ISourceOpener has two tables on one object: QueryInterface hands out the first (the
// ISourceOpenerOps part, GetFeatureMask and Open), and the caller releases that
// reference through the second (ISourceOpenerUnknown), which sits one pointer further
// on. Deriving from ISourceOpener gives exactly that layout, and the converted pointer
// that implements<> hands out is the address of the first table.
class DecoderComponent final
    : public implements_with<DecoderComponent, ComponentCount, IComponent, ISourceOpener,
                             IExtensionList, IComponentIdentity, IComponentAbout> {
 public:
  DecoderComponent(const DecoderTraits& traits, SourceOpenFunction open)
      : traits_(traits), open_(std::move(open)) {}

  // IComponent
  const char* TB_STDCALL GetName() noexcept override { return traits_.name; }
  int32_t TB_STDCALL GetKind() noexcept override { return kKindDecoder; }
  // Nothing to prepare: the decoder keeps no reference to the manager.
  bool TB_STDCALL Setup(IManager*, IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}

  // ISourceOpener, first table
  uint32_t TB_STDCALL GetFeatureMask() noexcept override { return kFeatureMask; }
  bool TB_STDCALL Open(const char* name, IUnknown** source, uint32_t requiredMask,
                       uint32_t excludedMask, IError** error) noexcept override {
    if (!source) {
      SetError(error, result::InvalidParameter, "no source slot was given");
      return false;
    }
    *source = nullptr;
    // The library filters on the masks before it calls; a host calling directly gets
    // the same answer here.
    if ((requiredMask & ~kFeatureMask) != 0 || (excludedMask & kFeatureMask) != 0) {
      try {
        const std::string text =
            std::string("the ") + traits_.name + " does not offer the features asked for";
        SetError(error, result::CallNotImplemented, text.c_str());
      } catch (...) {
        SetError(error, result::CallNotImplemented, "the features asked for are not offered");
      }
      return false;
    }
    ISourceData* opened = open_(name, error);
    if (!opened) return false;
    *source = opened;
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
  friend struct tb::object_access;

  const DecoderTraits traits_;
  const SourceOpenFunction open_;
};

}  // namespace

IComponent* NewDecoderComponent(const DecoderTraits& traits, SourceOpenFunction open) noexcept {
  try {
    return new DecoderComponent(traits, std::move(open));
  } catch (...) {
    return nullptr;
  }
}

}  // namespace tb::plugin
