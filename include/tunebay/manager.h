// Tunebay SDK: the manager and its secondary interfaces, as hosts see them.
//
// tunebay.dll exports one function, GetTunebay, which hands out the one manager of
// the process. The manager offers IManager (reached only through GetTunebay) and nine
// secondary interfaces reached through QueryInterface; all ten share one reference
// count and one identity. A query for IID_IUnknown yields IComponentCollection. The
// manager also answers extension interfaces of ours on the same identity, such as
// IManagerRules (rules.h).
#ifndef TUNEBAY_MANAGER_H
#define TUNEBAY_MANAGER_H

#include "component.h"

namespace tb {

/// Receives the events that IManager::Notify sends (ManagerEvent codes and the host's
/// own). Listeners are not counted by the manager.
struct IManagerListener : public IUnknown {
  /// Called synchronously by Notify on the notifying thread, with the manager's
  /// listener lock held: a listener may call the manager but must not wait for
  /// another thread that does.
  virtual void TB_STDCALL OnManagerEvent(int32_t code, void* parameter) = 0;
};

/// Supplied by the host to IManager::CreateSink. Slots 0 and 1 are not used by the
/// library, which neither adds nor releases a reference on the creator.
struct ISinkCreator {
  virtual void TB_STDCALL Unused0() = 0;
  virtual void TB_STDCALL Unused1() = 0;
  /// Stores a new sink object with one reference into `*sink`. True on success.
  /// Called during CreateSink, on its thread.
  virtual bool TB_STDCALL CreateSinkObject(IUnknown** sink, const AudioFormat* format,
                                           int32_t argument) = 0;
};

/// The manager's primary interface.
struct IManager : public IUnknown {
  /// Sets the folder scanned for plug-ins ("." when empty; copied). False after
  /// Initialise. [main-thread]
  virtual bool TB_STDCALL SetPluginFolder(const char* folder) = 0;
  /// Reads the settings and loads the plug-ins (the scan changes the process's current
  /// directory while it runs); nested calls only count. True on success. [main-thread]
  virtual bool TB_STDCALL Initialise() = 0;
  /// Whether the plug-ins may be unloaded now: false while not initialised, while any
  /// proxy lives, or while a library answers that it is not ready. [any-thread]
  virtual bool TB_STDCALL IsReadyToFinish() = 0;
  /// Stores the settings; undoes one Initialise and unloads the plug-ins with the last.
  /// False when not initialised or not ready (the host retries later). [main-thread]
  virtual bool TB_STDCALL Finish() = 0;
  /// Holds `convertor` (a reference is added) for the proxies. Null: false and
  /// InvalidParameter in the error slot. [main-thread], before opening sources.
  virtual bool TB_STDCALL SetConvertor(IConvertor* convertor, IError** error) = 0;
  /// Stores the held convertor (null when none) with a reference added. False only
  /// for a null `convertor`. Serialised.
  virtual bool TB_STDCALL GetConvertor(IConvertor** convertor) = 0;
  /// Kept for compatibility: returns false and touches nothing. [any-thread]
  virtual bool TB_STDCALL Reserved(void* pointer) = 0;
  /// Calls every listener synchronously, in registration order, with `code` and
  /// `parameter`, under the listener lock. Always true. [any-thread]
  virtual bool TB_STDCALL Notify(int32_t code, void* parameter) = 0;
  /// Registers a listener once (not counted: remove it before it goes). Always true.
  /// [any-thread]
  virtual bool TB_STDCALL AddListener(IManagerListener* listener) = 0;
  /// Removes a listener; false when it was not registered. [any-thread]
  virtual bool TB_STDCALL RemoveListener(IManagerListener* listener) = 0;
  /// Opens a file path (drive or UNC) or an http/ftp URL through the decoders in the
  /// user's order. `*source` receives the source object; with kOpenWithProxy in
  /// `requiredMask` it is wrapped in a proxy delivering `format` (null: the source's
  /// own). `pass` is -1 for both extension passes, else the one pass to run. The
  /// masks choose decoders by feature mask (component.h); the error slot receives
  /// the reason of a failure or the final verdict of a decoder. Serialised; different
  /// sources may be opened and used on different threads.
  virtual bool TB_STDCALL OpenSource(const char* name, const AudioFormat* format, IUnknown** source,
                                     int32_t pass, uint32_t requiredMask, uint32_t excludedMask,
                                     IError** error) = 0;
  /// Asks `creator` for a sink and wraps it in a proxy that converts the host's
  /// `format` into the sink's own. `*sink` receives the proxy with one reference; false
  /// (nothing stored) when the creator fails or an argument is null. Serialised.
  virtual bool TB_STDCALL CreateSink(ISinkCreator* creator, IUnknown** sink,
                                     const AudioFormat* format, int32_t argument) = 0;
  /// Registers `object` (counted; may be null) under `id`. False when `id` is taken.
  /// Serialised: the registry takes no lock.
  virtual bool TB_STDCALL RegisterService(const GUID* id, IUnknown* object) = 0;
  /// Removes the entry for `id`, releasing its object. False when none. Serialised.
  virtual bool TB_STDCALL UnregisterService(const GUID* id) = 0;
  /// Finds `id`; `*object` (when `object` is not null) receives it with a reference.
  /// False, `*object` untouched, when none. Serialised.
  virtual bool TB_STDCALL LookupService(const GUID* id, IUnknown** object) = 0;
  /// Turns any error object into one whose message says what went wrong: the same
  /// object when it has a message, else one named after its result code, else one
  /// with the platform's text for its system error. `*described` receives it with one
  /// reference; false for a null argument. [any-thread]
  virtual bool TB_STDCALL DescribeError(IError* error, IError** described) = 0;
};

/// The manager's catalogue uses IComponentCollection (component.h).

/// The language of the settings dialogs, a Windows language identifier (9 initially).
struct ILanguageSetting : public IUnknown {
  /// Stores the language and sends kEventLanguage. Always true. [main-thread]
  virtual bool TB_STDCALL SetLanguage(uint16_t language) = 0;
  /// The language set last. [any-thread]
  virtual uint16_t TB_STDCALL GetLanguage() = 0;
};

/// The registry location of the settings: HKCU\Software\<name 1>\<name 2>\Tunebay.
/// The setters work only before Initialise; afterwards they fail with WrongCall. Both
/// names start empty: a host that names neither gets a path with empty parts, so every
/// host names its own. [main-thread]
struct IRegistryLocation : public IUnknown {
  /// Copies `name`; null: false with InvalidParameter.
  virtual bool TB_STDCALL SetKeyName1(const char* name, IError** error) = 0;
  /// Never null; owned by the manager, valid until the name is set again.
  virtual const char* TB_STDCALL GetKeyName1() = 0;
  virtual bool TB_STDCALL SetKeyName2(const char* name, IError** error) = 0;
  virtual const char* TB_STDCALL GetKeyName2() = 0;
};

/// Values of the host's own, stored and handed back. Each setter sends its event.
/// A null text is stored as empty; returned texts are never null and stay valid until
/// the value is set again. Setters [main-thread], getters serialised.
struct IHostSettings : public IUnknown {
  virtual bool TB_STDCALL SetHostText1(const char* text) = 0;
  virtual const char* TB_STDCALL GetHostText1() = 0;
  virtual bool TB_STDCALL SetHostNumber(int32_t value) = 0;
  virtual int32_t TB_STDCALL GetHostNumber() = 0;
  virtual bool TB_STDCALL SetHostText2(const char* text) = 0;
  virtual const char* TB_STDCALL GetHostText2() = 0;
};

/// Where a catalogue component came from.
struct IComponentOrigin : public IUnknown {
  /// Copies the origin of `component` (compared by pointer) into `*out`. False when
  /// the component is not in the catalogue or an argument is null. Serialised.
  virtual bool TB_STDCALL GetComponentOrigin(IComponent* component, ComponentOrigin* out) = 0;
};

/// The user's decoder order.
struct ISourceOrder : public IUnknown {
  /// Replaces the stored order with the keys of `components`. False for a null array,
  /// a zero count or a null entry (order unchanged). Stored at Finish. [main-thread]
  virtual bool TB_STDCALL SetSourceOrder(IComponent** components, int32_t count) = 0;
  /// A new snapshot of the decoders (kind must be kKindDecoder) in the user's order,
  /// then the others in catalogue order, into `*list` with one reference. Stored keys
  /// that match no decoder are pruned. Serialised.
  virtual bool TB_STDCALL GetOrderedComponents(int32_t kind, IComponentCollection** list) = 0;
};

/// Where the designated module is loaded from.
struct IModuleLocation : public IUnknown {
  /// Mode 0: load it from the host executable's folder, subfolder AudioPlugins, at the
  /// next scan. Other modes: false. [main-thread], before Initialise.
  virtual bool TB_STDCALL UseHostModuleFolder(int32_t mode) = 0;
};

/// One value of the host's own, without event. Serialised.
struct IClientValue : public IUnknown {
  virtual void TB_STDCALL SetClientValue(int32_t value) = 0;
  virtual int32_t TB_STDCALL GetClientValue() = 0;
};

/// The library's export: stores the manager with one reference added into `*manager`.
/// False (and nothing stored) for a null `manager` or when it cannot be created. The
/// Release that drops the last reference destroys the manager; a later call makes a
/// new one. [any-thread], but not concurrently with that last Release.
typedef bool(TB_CDECL* GetTunebayFn)(IManager** manager);

#define TB_EXPORT_GET_TUNEBAY "GetTunebay"

}  // namespace tb

/// The library's export, for hosts that link the import library (Tunebay::host);
/// others look it up by name (TB_EXPORT_GET_TUNEBAY) as a GetTunebayFn. [any-thread]
extern "C" bool TB_CDECL GetTunebay(tb::IManager** manager);

TB_DECLARE_IID(ILanguageSetting, "FEFB0CDF-C033-4BBC-8A0A-9F113188DB71", 0xFEFB0CDF, 0xC033, 0x4BBC,
               0x8A, 0x0A, 0x9F, 0x11, 0x31, 0x88, 0xDB, 0x71)
TB_DECLARE_IID(IRegistryLocation, "C86F7224-343C-4577-BF6D-12FA517A0AA2", 0xC86F7224, 0x343C,
               0x4577, 0xBF, 0x6D, 0x12, 0xFA, 0x51, 0x7A, 0x0A, 0xA2)
TB_DECLARE_IID(IHostSettings, "EE6211BD-1AC2-485D-8146-B5F4B31AEA8B", 0xEE6211BD, 0x1AC2, 0x485D,
               0x81, 0x46, 0xB5, 0xF4, 0xB3, 0x1A, 0xEA, 0x8B)
TB_DECLARE_IID(IComponentOrigin, "3CBDC896-EB69-4C85-BBAA-CEA2AD009985", 0x3CBDC896, 0xEB69, 0x4C85,
               0xBB, 0xAA, 0xCE, 0xA2, 0xAD, 0x00, 0x99, 0x85)
TB_DECLARE_IID(ISourceOrder, "37F0ED8E-9545-477C-A3ED-CF1D29B5E3F3", 0x37F0ED8E, 0x9545, 0x477C,
               0xA3, 0xED, 0xCF, 0x1D, 0x29, 0xB5, 0xE3, 0xF3)
TB_DECLARE_IID(IModuleLocation, "608B369D-8F96-4F93-8DBC-C30D22F194BE", 0x608B369D, 0x8F96, 0x4F93,
               0x8D, 0xBC, 0xC3, 0x0D, 0x22, 0xF1, 0x94, 0xBE)
TB_DECLARE_IID(IClientValue, "23C54714-3F14-4AEA-990A-598F642191E9", 0x23C54714, 0x3F14, 0x4AEA,
               0x99, 0x0A, 0x59, 0x8F, 0x64, 0x21, 0x91, 0xE9)

#endif  // TUNEBAY_MANAGER_H
