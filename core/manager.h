// The one Manager object of the process: IManager and the nine secondary interfaces,
// sharing one reference count and one identity.
//
// The object's work is spread over several files by subsystem: this folder has the
// object itself, the plug-in scan and the initialise/finish cycle; services/ has the
// secondary interfaces; sources/ has OpenSource and CreateSink.
#ifndef TB_CORE_MANAGER_H
#define TB_CORE_MANAGER_H

#include <tunebay/manager.h>

#include <memory>
#include <string>
#include <vector>

#include "base/com.h"
#include "base/lock.h"

namespace tb {

class ManagerFaces;
class PluginModule;

class Manager final : public IManager,
                      public IComponentCollection,
                      public ILanguageSetting,
                      public IRegistryLocation,
                      public IHostSettings,
                      public ISettingsDialog,
                      public IComponentOrigin,
                      public ISourceOrder,
                      public IModuleLocation,
                      public IClientValue {
 public:
  /// The section under the host's two key names where the settings live.
  static constexpr const char* kSettingsSection = "Tunebay";
  /// Initial language: English.
  static constexpr uint16_t kDefaultLanguage = 9;

  /// GetTunebay's work: the singleton, created on first use, with a reference added.
  static bool GetInstance(IManager** out) noexcept;

  // IUnknown, shared by all ten tables.
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override;
  ULONG TB_STDCALL AddRef() noexcept override;
  ULONG TB_STDCALL Release() noexcept override;

  // IManager (core/manager.cpp, core/cycle.cpp, sources/).
  bool TB_STDCALL SetPluginFolder(const char* folder) noexcept override;
  bool TB_STDCALL Initialise() noexcept override;
  bool TB_STDCALL IsReadyToFinish() noexcept override;
  bool TB_STDCALL Finish() noexcept override;
  bool TB_STDCALL SetConvertor(IConvertor* convertor, IError** error) noexcept override;
  bool TB_STDCALL GetConvertor(IConvertor** convertor) noexcept override;
  bool TB_STDCALL Reserved(void* pointer) noexcept override;
  bool TB_STDCALL Notify(int32_t code, void* parameter) noexcept override;
  bool TB_STDCALL AddListener(IManagerListener* listener) noexcept override;
  bool TB_STDCALL RemoveListener(IManagerListener* listener) noexcept override;
  bool TB_STDCALL OpenSource(const char* name, const AudioFormat* format, IUnknown** source,
                             int32_t pass, uint32_t requiredMask, uint32_t excludedMask,
                             IError** error) noexcept override;
  bool TB_STDCALL CreateSink(ISinkCreator* creator, IUnknown** sink, const AudioFormat* format,
                             int32_t argument) noexcept override;
  bool TB_STDCALL RegisterService(const GUID* id, IUnknown* object) noexcept override;
  bool TB_STDCALL UnregisterService(const GUID* id) noexcept override;
  bool TB_STDCALL LookupService(const GUID* id, IUnknown** object) noexcept override;
  bool TB_STDCALL DescribeError(IError* error, IError** described) noexcept override;

  // IComponentCollection: the catalogue (services/).
  int32_t TB_STDCALL GetCount() noexcept override;
  bool TB_STDCALL GetItem(int32_t index, IComponent** item) noexcept override;

  // ILanguageSetting (services/).
  bool TB_STDCALL SetLanguage(uint16_t language) noexcept override;
  uint16_t TB_STDCALL GetLanguage() noexcept override;

  // IRegistryLocation (services/).
  bool TB_STDCALL SetKeyName1(const char* name, IError** error) noexcept override;
  const char* TB_STDCALL GetKeyName1() noexcept override;
  bool TB_STDCALL SetKeyName2(const char* name, IError** error) noexcept override;
  const char* TB_STDCALL GetKeyName2() noexcept override;

  // IHostSettings (services/).
  bool TB_STDCALL SetHostText1(const char* text) noexcept override;
  const char* TB_STDCALL GetHostText1() noexcept override;
  bool TB_STDCALL SetHostNumber(int32_t value) noexcept override;
  int32_t TB_STDCALL GetHostNumber() noexcept override;
  bool TB_STDCALL SetHostText2(const char* text) noexcept override;
  const char* TB_STDCALL GetHostText2() noexcept override;

  // ISettingsDialog (ui/, later).
  bool TB_STDCALL ShowSettingsDialog() noexcept override;

  // IComponentOrigin (services/).
  bool TB_STDCALL GetComponentOrigin(IComponent* component, ComponentOrigin* out) noexcept override;

  // ISourceOrder (services/).
  bool TB_STDCALL SetSourceOrder(IComponent** components, int32_t count) noexcept override;
  bool TB_STDCALL GetOrderedComponents(int32_t kind, IComponentCollection** list) noexcept override;

  // IModuleLocation (services/).
  bool TB_STDCALL UseHostModuleFolder(int32_t mode) noexcept override;

  // IClientValue (services/).
  void TB_STDCALL SetClientValue(int32_t value) noexcept override;
  int32_t TB_STDCALL GetClientValue() noexcept override;

  // Internal operations.

  /// The IManager pointer that components and listeners receive.
  IManager* primary() noexcept { return static_cast<IManager*>(this); }

  /// Catalogue intake of the scan: flattens collections (innermost index recorded)
  /// and keeps the caller's reference on `component`.
  void AddComponent(IComponent* component, const char* moduleFileName, int32_t index);

  /// How deeply collections may nest; a collection that (directly or not) contains
  /// itself would otherwise recurse until the stack runs out.
  static constexpr int kMaxCollectionDepth = 16;

  int32_t artistTitleSource() const noexcept { return artistTitleSource_; }
  int32_t artistTitleFileNameFormat() const noexcept { return artistTitleFileNameFormat_; }
  void setArtistTitleSource(int32_t value) noexcept { artistTitleSource_ = value; }
  void setArtistTitleFileNameFormat(int32_t value) noexcept { artistTitleFileNameFormat_ = value; }
  const std::vector<std::string>& sourceOrder() const noexcept { return sourceOrder_; }
  LONG initCount() const noexcept { return initCount_; }
  const std::string& pluginFolder() const noexcept { return pluginFolder_; }

  /// The component key by which a catalogue component is stored in the source order.
  std::string ComponentKey(IComponent* component);

 private:
  struct ServiceEntry {
    GUID id;
    com_ptr<IUnknown> object;
  };

  Manager();
  ~Manager();

  void AddComponentAt(IComponent* component, const char* moduleFileName, int32_t index, int depth);

  // The keys of several components at once (services/manager_services.cpp): origin
  // records are found through a pointer index built once, not a catalogue scan each.
  std::vector<std::string> ComponentKeys(IComponent* const* components, size_t count);

  // Plug-in loading (core/plugin_scan.cpp).
  void ScanPlugins();
  void LoadPluginLibrary(const std::string& folder, const char* name);
  void SetUpComponents();
  void UnloadPlugins();
  void ReadSettings();
  void WriteSettings();

  // Interfaces that upper layers add (core/manager_faces.h).
  std::unique_ptr<ManagerFaces> faces_;
  std::vector<ServiceEntry> services_;
  std::vector<com_ptr<IComponent>> catalogue_;
  std::vector<std::unique_ptr<PluginModule>> modules_;
  std::vector<ComponentOrigin> origins_;      // parallel to catalogue_
  std::vector<IManagerListener*> listeners_;  // not counted
  RecursiveLock listenerLock_;
  com_ptr<IConvertor> convertor_;
  com_ptr<IDownloader> downloader_;
  volatile LONG refCount_ = 0;
  volatile LONG initCount_ = 0;
  std::string pluginFolder_;
  std::string keyName2_;
  std::string keyName1_;
  std::string hostText1_;
  std::string hostText2_;
  int32_t hostNumber_ = 0;
  uint16_t language_ = kDefaultLanguage;
  int32_t artistTitleSource_ = 0;
  int32_t artistTitleFileNameFormat_ = 0;
  std::vector<std::string> sourceOrder_;
  bool useHostModuleFolder_ = false;
  int32_t clientValue_ = 0;
  // Set once the settings have been read from the registry: a Finish before that
  // must not overwrite stored settings with values that were never read.
  bool settingsRead_ = false;
};

}  // namespace tb

#endif  // TB_CORE_MANAGER_H
