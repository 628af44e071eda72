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
  /// The component's display name, never null; owned by the component, valid while it
  /// lives. [any-thread]
  virtual const char* TB_STDCALL GetName() = 0;
  /// The component's kind (ComponentKind); kKindCollection makes the manager take in
  /// the members instead. Must not change. [any-thread]
  virtual int32_t TB_STDCALL GetKind() = 0;
  /// Called once after every library is loaded (so the whole catalogue exists), with
  /// the manager, not counted: add a reference to keep it and release it in Shutdown.
  /// A false result removes the component from the catalogue and releases it; whatever
  /// the error slot receives is released unread. Runs under the manager's process
  /// lock: do not wait for another thread that calls the manager. [main-thread]
  virtual bool TB_STDCALL Setup(IManager* manager, IError** error) = 0;
  /// Called once, after ORVA_PLUGIN_ReadyToFinish answered true and before the
  /// catalogue's reference is released and the library freed: release what Setup kept.
  /// Also under the process lock. [main-thread]
  virtual void TB_STDCALL Shutdown() = 0;
};

/// A list of components: the manager's catalogue, a plug-in collection (kind 2) or an
/// ordered component list.
struct IComponentCollection : public IUnknown {
  /// The number of components. Serialised.
  virtual int32_t TB_STDCALL GetCount() = 0;
  /// Stores component `index` into `*item` with one reference added; true when the
  /// stored pointer is not null. Out of range or a null `item`: false, `*item`
  /// untouched. Serialised.
  virtual bool TB_STDCALL GetItem(int32_t index, IComponent** item) = 0;
};

/// A component's class identifier, optional. When offered, it is what the user's
/// decoder order stores for the component.
struct IComponentIdentity : public IUnknown {
  /// Fills `*id` with the component's class identifier, which must stay the same
  /// across versions (the user's order is stored by it). True on success; a null `id`
  /// gives false. [any-thread]
  virtual bool TB_STDCALL GetClassId(GUID* id) = 0;
};

/// Vendor and about box of a component, optional.
struct IComponentAbout : public IUnknown {
  /// The vendor's name, never null; owned by the component. [any-thread]
  virtual const char* TB_STDCALL GetVendor() = 0;
  /// Whether ShowAboutBox shows anything. [any-thread]
  virtual bool TB_STDCALL HasAboutBox() = 0;
  /// Shows the about box modally and returns when it is closed. [main-thread]
  virtual void TB_STDCALL ShowAboutBox() = 0;
};

/// A settings dialog: offered by the manager (its own settings) and, optionally, by
/// components that have settings.
struct ISettingsDialog : public IUnknown {
  /// Shows the dialog modally on the calling thread and returns when it is closed:
  /// true when the user confirmed it (and the settings changed), false when cancelled
  /// or when it cannot be shown. A fault inside a component's dialog is caught by the
  /// manager and counts as false. [main-thread]
  virtual bool TB_STDCALL ShowSettingsDialog() = 0;
};

/// The file extensions a decoder handles, without dots. An encoder may offer it too,
/// for the extensions of the files it writes.
/// The manager compares them without regard to ASCII case; a decoder that lists a
/// file's extension is offered the file in pass 0, before the others.
struct IExtensionList : public IUnknown {
  /// The number of extensions. [any-thread]
  virtual int32_t TB_STDCALL GetCount() = 0;
  /// Extension `index` without its dot ("wav"); owned by the component, valid while it
  /// lives. Null for an index out of range. [any-thread]
  virtual const char* TB_STDCALL GetExtension(int32_t index) = 0;
};

/// Offered by downloader components (kind 6).
struct IDownloader : public IUnknown {
  /// The URL schemes handled: kProtocolHttp, kProtocolFtp. [any-thread]
  virtual uint32_t TB_STDCALL GetProtocols() = 0;
  /// Fetches `url` to a local file and writes its path, zero-terminated, into
  /// `localPath`, a buffer of kLocalPathSize bytes; the file is the downloader's and
  /// stays until the downloader shuts down. `reserved` is 0. On failure the error
  /// slot, when given, receives an error object. Blocks until done. Serialised.
  virtual bool TB_STDCALL Download(const char* url, char* localPath, int32_t reserved,
                                   IError** error) = 0;
};

/// First table of ISourceOpener: two operations, no IUnknown.
struct ISourceOpenerOps {
  /// The feature mask that OpenSource's required and excluded masks are tested against:
  /// the decoder is asked only when it has every required bit and no excluded one.
  /// Hosts that want a proxy require kOpenWithProxy, so a decoder without that bit is
  /// never asked for them. [any-thread]
  virtual uint32_t TB_STDCALL GetFeatureMask() = 0;
  /// Opens `name` (a local path, or the downloader's local copy of a URL); `*source`
  /// receives the source object with one reference. False, `*source` null, for a file
  /// the decoder does not handle: the search goes on with the next decoder unless the
  /// error object offers IErrorVerdict with kVerdictFinal. A fault inside Open is
  /// caught and counts as false. Serialised.
  virtual bool TB_STDCALL Open(const char* name, IUnknown** source, uint32_t requiredMask,
                               uint32_t excludedMask, IError** error) = 0;
};

/// Second table of ISourceOpener, one pointer after the first.
struct ISourceOpenerUnknown : public IUnknown {
  /// Capability bits; without kCapabilityOpensSources the decoder is never asked to
  /// open anything. [any-thread]
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

/// Entry point types of a plug-in library (exported under plain names, __cdecl; see
/// the top of this file). GetPrimaryAudioObject: stores the library's primary object
/// with one reference, which passes to the manager; called once, right after loading.
/// ReadyToFinish: true when nothing but the catalogue's references keeps the library
/// loaded (docs/sdk.md says what to count). Both run under the manager's process lock;
/// a fault inside either counts as false. [main-thread]
typedef bool(TB_CDECL* GetPrimaryAudioObjectFn)(IComponent** out);
typedef bool(TB_CDECL* ReadyToFinishFn)();

/// Entry point names of a plug-in library.
#define TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT "ORVA_PLUGIN_GetPrimaryAudioObject"
#define TB_ENTRY_READY_TO_FINISH "ORVA_PLUGIN_ReadyToFinish"

}  // namespace tb

TB_DECLARE_IID(IComponentCollection, "FC2E77B1-6278-452B-9756-7AC24E807778", 0xFC2E77B1, 0x6278,
               0x452B, 0x97, 0x56, 0x7A, 0xC2, 0x4E, 0x80, 0x77, 0x78)
TB_DECLARE_IID(IComponentIdentity, "4B524062-C262-4DF4-9A78-A44898D75F4C", 0x4B524062, 0xC262,
               0x4DF4, 0x9A, 0x78, 0xA4, 0x48, 0x98, 0xD7, 0x5F, 0x4C)
TB_DECLARE_IID(IComponentAbout, "1446D8C0-3989-4143-86B4-D585A96EF8AE", 0x1446D8C0, 0x3989, 0x4143,
               0x86, 0xB4, 0xD5, 0x85, 0xA9, 0x6E, 0xF8, 0xAE)
TB_DECLARE_IID(ISettingsDialog, "F50907A0-C032-4935-A3E0-832003E44F06", 0xF50907A0, 0xC032, 0x4935,
               0xA3, 0xE0, 0x83, 0x20, 0x03, 0xE4, 0x4F, 0x06)
TB_DECLARE_IID(IExtensionList, "243C1749-490A-492E-8F84-01C302D1252D", 0x243C1749, 0x490A, 0x492E,
               0x8F, 0x84, 0x01, 0xC3, 0x02, 0xD1, 0x25, 0x2D)
TB_DECLARE_IID(IDownloader, "D83B6937-F179-43CE-9A24-7AA12210DBF4", 0xD83B6937, 0xF179, 0x43CE,
               0x9A, 0x24, 0x7A, 0xA1, 0x22, 0x10, 0xDB, 0xF4)
TB_DECLARE_IID(ISourceOpener, "C69677F6-15F4-4555-B55E-4FF3E0EE8477", 0xC69677F6, 0x15F4, 0x4555,
               0xB5, 0x5E, 0x4F, 0xF3, 0xE0, 0xEE, 0x84, 0x77)

#endif  // TUNEBAY_COMPONENT_H
