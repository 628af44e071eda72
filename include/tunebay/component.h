// Tunebay SDK: the plug-in contract.
//
// A plug-in library exports two __cdecl entry points under plain names:
//   bool ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out);
//   bool ORVA_PLUGIN_ReadyToFinish();
// (A library that declares them __stdcall works too: the library restores the stack
// pointer after calling them.) The primary audio object is a component; a component
// of kind kKindCollection offers IComponentCollection and the library takes in its
// members instead, recursively.
#ifndef TUNEBAY_COMPONENT_H
#define TUNEBAY_COMPONENT_H

#include "source.h"

namespace tb {

struct IManager;

/// The table of every component.
struct IComponent : public IUnknown {
  /// The component's display name; owned by the component.
  virtual const char* TB_STDCALL GetName() = 0;
  /// The component's kind (ComponentKind).
  virtual int32_t TB_STDCALL GetKind() = 0;
  /// Called once after every library is loaded, with the manager (not counted: add a
  /// reference to keep it). A false result removes the component from the catalogue.
  virtual bool TB_STDCALL Setup(IManager* manager, IError** error) = 0;
  /// Called once before the library is unloaded.
  virtual void TB_STDCALL Shutdown() = 0;
};

/// A list of components: the manager's catalogue, a plug-in collection (kind 2) or an
/// ordered component list.
struct IComponentCollection : public IUnknown {
  /// The number of components.
  virtual int32_t TB_STDCALL GetCount() = 0;
  /// Stores component `index` into `*item` with one reference added; true when the
  /// stored pointer is not null. Out of range or a null `item`: false, `*item`
  /// untouched.
  virtual bool TB_STDCALL GetItem(int32_t index, IComponent** item) = 0;
};

/// A component's class identifier, optional. When offered, it is what the user's
/// decoder order stores for the component.
struct IComponentIdentity : public IUnknown {
  /// Fills `*id`. True on success.
  virtual bool TB_STDCALL GetClassId(GUID* id) = 0;
};

/// Vendor and about box of a component, optional.
struct IComponentAbout : public IUnknown {
  /// The vendor's name; owned by the component.
  virtual const char* TB_STDCALL GetVendor() = 0;
  /// Whether ShowAboutBox shows anything.
  virtual bool TB_STDCALL HasAboutBox() = 0;
  /// Shows the about box modally.
  virtual void TB_STDCALL ShowAboutBox() = 0;
};

/// A settings dialog: offered by the manager (its own settings) and, optionally, by
/// components that have settings.
struct ISettingsDialog : public IUnknown {
  /// Shows the dialog modally; true when the user confirmed it.
  virtual bool TB_STDCALL ShowSettingsDialog() = 0;
};

/// The file extensions a decoder handles, without dots. An encoder may offer it too,
/// for the extensions of the files it writes.
struct IExtensionList : public IUnknown {
  virtual int32_t TB_STDCALL GetCount() = 0;
  /// Extension `index` without its dot; owned by the component.
  virtual const char* TB_STDCALL GetExtension(int32_t index) = 0;
};

/// Offered by downloader components (kind 6).
struct IDownloader : public IUnknown {
  /// The URL schemes handled: kProtocolHttp, kProtocolFtp.
  virtual uint32_t TB_STDCALL GetProtocols() = 0;
  /// Fetches `url` to a local file and writes its path, zero-terminated, into
  /// `localPath`, a buffer of kLocalPathSize bytes. `reserved` is 0.
  virtual bool TB_STDCALL Download(const char* url, char* localPath, int32_t reserved,
                                   IError** error) = 0;
};

/// First table of ISourceOpener: two operations, no IUnknown.
struct ISourceOpenerOps {
  /// The feature mask that OpenSource's required and excluded masks are tested against.
  virtual uint32_t TB_STDCALL GetFeatureMask() = 0;
  /// Opens `name`; `*source` receives the source object with one reference.
  virtual bool TB_STDCALL Open(const char* name, IUnknown** source, uint32_t requiredMask,
                               uint32_t excludedMask, IError** error) = 0;
};

/// Second table of ISourceOpener, one pointer after the first.
struct ISourceOpenerUnknown : public IUnknown {
  /// Capability bits; kCapabilityOpensSources means the component opens sources.
  virtual uint32_t TB_STDCALL GetCapabilities() = 0;
};

/// Offered by decoders (kind 3). The interface pointer that QueryInterface gives
/// addresses the first table; its reference is released through the second table
/// (tb::opener_unknown). This odd shape is fixed by the plug-ins that exist.
struct ISourceOpener : public ISourceOpenerOps, public ISourceOpenerUnknown {};

/// The IUnknown table of an opener, through which its reference is released.
inline ISourceOpenerUnknown* opener_unknown(ISourceOpener* opener) {
  return static_cast<ISourceOpenerUnknown*>(opener);
}

/// Entry point types of a plug-in library.
typedef bool(TB_CDECL* GetPrimaryAudioObjectFn)(IComponent** out);
typedef bool(TB_CDECL* ReadyToFinishFn)();

/// Entry point names of a plug-in library.
#define TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT "ORVA_PLUGIN_GetPrimaryAudioObject"
#define TB_ENTRY_READY_TO_FINISH "ORVA_PLUGIN_ReadyToFinish"

}  // namespace tb

TB_DECLARE_IID(IComponentCollection, 0xFC2E77B1, 0x6278, 0x452B, 0x97, 0x56, 0x7A, 0xC2, 0x4E, 0x80,
               0x77, 0x78)
TB_DECLARE_IID(IComponentIdentity, 0x4B524062, 0xC262, 0x4DF4, 0x9A, 0x78, 0xA4, 0x48, 0x98, 0xD7,
               0x5F, 0x4C)
TB_DECLARE_IID(IComponentAbout, 0x1446D8C0, 0x3989, 0x4143, 0x86, 0xB4, 0xD5, 0x85, 0xA9, 0x6E,
               0xF8, 0xAE)
TB_DECLARE_IID(ISettingsDialog, 0xF50907A0, 0xC032, 0x4935, 0xA3, 0xE0, 0x83, 0x20, 0x03, 0xE4,
               0x4F, 0x06)
TB_DECLARE_IID(IExtensionList, 0x243C1749, 0x490A, 0x492E, 0x8F, 0x84, 0x01, 0xC3, 0x02, 0xD1, 0x25,
               0x2D)
TB_DECLARE_IID(IDownloader, 0xD83B6937, 0xF179, 0x43CE, 0x9A, 0x24, 0x7A, 0xA1, 0x22, 0x10, 0xDB,
               0xF4)
TB_DECLARE_IID(ISourceOpener, 0xC69677F6, 0x15F4, 0x4555, 0xB5, 0x5E, 0x4F, 0xF3, 0xE0, 0xEE, 0x84,
               0x77)

#endif  // TUNEBAY_COMPONENT_H
