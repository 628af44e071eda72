// A Tunebay plug-in library: one decoder component, to be grown into a real one.
//
// The manager loads the library, calls ORVA_PLUGIN_GetPrimaryAudioObject once and
// takes the component into its catalogue; Setup follows once every library is loaded;
// for a file whose extension the component lists it asks ISourceOpener::Open first.
// Before it frees the library it asks ORVA_PLUGIN_ReadyToFinish, which answers true
// only when nothing but the catalogue's reference on the component is left; then it
// calls Shutdown, releases the component and frees the library.
//
// Open below reports that it opens nothing: a decoder stores a source object there
// (ISourceControl, ISourceData, ISourcePosition and ILifetime on one count); the
// worked example of the SDK's sources shows a whole one. The rules are in docs/sdk.md.
#include <tunebay/tunebay.h>

#include <cstring>
#include <new>

namespace {

// What keeps the library from being unloaded: references on its objects beyond the
// one the manager's catalogue holds on the component (which is released only after
// ReadyToFinish has answered true), and every other living object (sources, errors).
volatile LONG g_holds = 0;

class TemplateDecoder : public tb::IComponent, public tb::IExtensionList, public tb::ISourceOpener {
 public:
  TemplateDecoder() noexcept = default;

  // IUnknown: one count for every interface. The opener's second table answers
  // through the same QueryInterface (ISourceOpener's odd two-table shape).
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (Is(iid, tb::iid_of<IUnknown>())) {
      *out = static_cast<tb::IComponent*>(this);
    } else if (Is(iid, tb::iid_of<tb::IExtensionList>())) {
      *out = static_cast<tb::IExtensionList*>(this);
    } else if (Is(iid, tb::iid_of<tb::ISourceOpener>())) {
      *out = static_cast<tb::ISourceOpener*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  // The first reference is the catalogue's; every further one holds the library.
  ULONG TB_STDCALL AddRef() noexcept override {
    InterlockedIncrement(&g_holds);
    return ULONG(InterlockedIncrement(&refs_));
  }
  ULONG TB_STDCALL Release() noexcept override {
    const ULONG left = ULONG(InterlockedDecrement(&refs_));
    if (left == 0) {
      delete this;
    } else {
      InterlockedDecrement(&g_holds);
    }
    return left;
  }

  // IComponent
  const char* TB_STDCALL GetName() noexcept override { return "Template decoder"; }
  int32_t TB_STDCALL GetKind() noexcept override { return tb::kKindDecoder; }
  bool TB_STDCALL Setup(tb::IManager* manager, tb::IError** error) noexcept override {
    (void)error;
    // Kept until Shutdown, which breaks the cycle (the manager holds this component).
    manager_ = tb::com_ptr<tb::IManager>(manager);
    return static_cast<bool>(manager_);
  }
  void TB_STDCALL Shutdown() noexcept override { manager_.reset(); }

  // IExtensionList: the files offered to this decoder first.
  int32_t TB_STDCALL GetCount() noexcept override { return 1; }
  const char* TB_STDCALL GetExtension(int32_t index) noexcept override {
    return index == 0 ? "tpl" : nullptr;
  }

  // ISourceOpener. kOpenWithProxy in the feature mask: the decoder is also asked when
  // the host wants the manager's proxy (most hosts do).
  uint32_t TB_STDCALL GetFeatureMask() noexcept override { return tb::kOpenWithProxy; }
  bool TB_STDCALL Open(const char* name, IUnknown** source, uint32_t requiredMask,
                       uint32_t excludedMask, tb::IError** error) noexcept override {
    (void)name, (void)requiredMask, (void)excludedMask, (void)error;
    if (source) *source = nullptr;
    return false;  // make the source object here
  }
  uint32_t TB_STDCALL GetCapabilities() noexcept override { return tb::kCapabilityOpensSources; }

 private:
  ~TemplateDecoder() = default;
  static bool Is(REFIID a, const GUID& b) noexcept { return std::memcmp(&a, &b, sizeof b) == 0; }

  volatile LONG refs_ = 1;
  tb::com_ptr<tb::IManager> manager_;
};

}  // namespace

// The entry points, exported under their plain names.
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  if (!out) return false;
  *out = new (std::nothrow) TemplateDecoder();
  return *out != nullptr;
}

TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return g_holds == 0; }
