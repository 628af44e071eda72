// The one Manager object of the process, as a composition.
//
// Manager is the identity of the whole: it holds the one reference count, implements
// IManager and the faces of core's own state (the catalogue, component origins, the
// registry location, the module location), and answers QueryInterface for every face
// from one table. The layers above core add parts (ManagerPart) that implement their
// own faces and enter them in that table; the parts' faces forward QueryInterface,
// AddRef and Release to the manager (outer_counted in base/com.h). Who adds which part
// is decided once, by the Assembly function handed to GetInstance: the DLL's is in
// dll/assembly.cpp. docs/architecture.md draws the picture.
#ifndef TB_CORE_MANAGER_H
#define TB_CORE_MANAGER_H

#include <tunebay/diagnostics.h>
#include <tunebay/manager.h>

#include <memory>
#include <string>
#include <vector>

#include "base/com.h"
#include "base/lock.h"

namespace tb {

class PluginModule;
class Manager;

/// A layer's share of the manager: owned by the manager and destroyed with it, after
/// the last reference is gone. Its faces forward their IUnknown to the manager.
class ManagerPart {
 public:
  virtual ~ManagerPart() = default;
};

/// The work behind IManager::OpenSource and IManager::CreateSink, supplied by the
/// sources layer. The manager does not own it (the part that implements it does).
class SourceService {
 public:
  virtual bool OpenSource(const char* name, const AudioFormat* format, IUnknown** source,
                          int32_t pass, uint32_t requiredMask, uint32_t excludedMask,
                          IError** error) noexcept = 0;
  virtual bool CreateSink(ISinkCreator* creator, IUnknown** sink, const AudioFormat* format,
                          int32_t argument) noexcept = 0;

 protected:
  ~SourceService() = default;
};

class Manager final : public IManager,
                      public IComponentCollection,
                      public IRegistryLocation,
                      public IComponentOrigin,
                      public IModuleLocation {
 public:
  /// The section under the host's two key names where the settings live.
  static constexpr const char* kSettingsSection = "Tunebay";
  /// The names of the stored values in that section.
  static constexpr const char* kArtistTitleSourceValue = "ArtistTitleSource";
  static constexpr const char* kFileNameFormatValue = "ArtistTitle_FileNameFormat";
  static constexpr const char* kSourceOrderValue = "SourceComponentOrder";

  /// Adds the higher layers' parts to a new manager; false abandons it.
  using Assembly = bool (*)(Manager& manager);

  /// GetTunebay's work: the singleton, created on first use (and then assembled by
  /// `assemble`, when given), with a reference added. A manager that already lives is
  /// handed out as it was assembled.
  static bool GetInstance(IManager** out, Assembly assemble = nullptr) noexcept;

  // Assembly: called only by an Assembly function, before the manager is handed out.

  /// Takes ownership of a part; false (the part destroyed) when out of memory.
  bool AddPart(std::unique_ptr<ManagerPart> part) noexcept;
  /// Makes QueryInterface answer `iid` with `face`, replacing the face answered so far:
  /// a higher layer may supply a face that a lower one only stands in for. The face
  /// must forward its IUnknown to this object, and `iid` must outlive it (an identifier
  /// from iid_of does). False when the table is full.
  bool SetFace(const GUID& iid, IUnknown* face) noexcept;
  /// Who does the work of OpenSource and CreateSink; without one both fail.
  void SetSourceService(SourceService* service) noexcept { sourceService_ = service; }

  /// The part of type T, or null.
  template <class T>
  T* FindPart() const noexcept {
    for (const std::unique_ptr<ManagerPart>& part : parts_) {
      if (T* found = dynamic_cast<T*>(part.get())) return found;
    }
    return nullptr;
  }

  // IUnknown, shared by every face.
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override;
  ULONG TB_STDCALL AddRef() noexcept override;
  ULONG TB_STDCALL Release() noexcept override;

  // IManager (core/manager.cpp, core/cycle.cpp, core/plugin_scan.cpp).
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

  // IComponentCollection: the catalogue (core/manager_faces.cpp, as the next three).
  int32_t TB_STDCALL GetCount() noexcept override;
  bool TB_STDCALL GetItem(int32_t index, IComponent** item) noexcept override;

  // IRegistryLocation.
  bool TB_STDCALL SetKeyName1(const char* name, IError** error) noexcept override;
  const char* TB_STDCALL GetKeyName1() noexcept override;
  bool TB_STDCALL SetKeyName2(const char* name, IError** error) noexcept override;
  const char* TB_STDCALL GetKeyName2() noexcept override;

  // IComponentOrigin.
  bool TB_STDCALL GetComponentOrigin(IComponent* component, ComponentOrigin* out) noexcept override;

  // IModuleLocation.
  bool TB_STDCALL UseHostModuleFolder(int32_t mode) noexcept override;

  // Internal operations.

  /// The IManager pointer that components and listeners receive.
  IManager* primary() noexcept { return static_cast<IManager*>(this); }

  /// Catalogue intake of the scan: flattens collections (innermost index recorded)
  /// and keeps the caller's reference on `component`.
  void AddComponent(IComponent* component, const char* moduleFileName, int32_t index);

  /// How deeply collections may nest; a collection that (directly or not) contains
  /// itself would otherwise recurse until the stack runs out.
  static constexpr int kMaxCollectionDepth = 16;

  // The state that the initialise/finish cycle reads and stores, for the layers above.

  const std::vector<com_ptr<IComponent>>& catalogue() const noexcept { return catalogue_; }
  /// Parallel to catalogue().
  const std::vector<ComponentOrigin>& origins() const noexcept { return origins_; }
  int32_t artistTitleSource() const noexcept { return artistTitleSource_; }
  int32_t artistTitleFileNameFormat() const noexcept { return artistTitleFileNameFormat_; }
  void setArtistTitleSource(int32_t value) noexcept { artistTitleSource_ = value; }
  void setArtistTitleFileNameFormat(int32_t value) noexcept { artistTitleFileNameFormat_ = value; }
  /// The user's decoder order as component keys, most preferred first.
  const std::vector<std::string>& sourceOrder() const noexcept { return sourceOrder_; }
  std::vector<std::string>& sourceOrder() noexcept { return sourceOrder_; }
  LONG initCount() const noexcept { return initCount_; }
  /// One record per file the last scan considered, in folder order.
  const std::vector<LoadRecord>& loadRecords() const noexcept { return loadRecords_; }
  const std::string& pluginFolder() const noexcept { return pluginFolder_; }

 private:
  struct ServiceEntry {
    GUID id;
    com_ptr<IUnknown> object;
  };

  Manager();
  ~Manager();

  void AddComponentAt(IComponent* component, const char* moduleFileName, int32_t index, int depth);

  // Plug-in loading (core/plugin_scan.cpp).
  void ScanPlugins();
  void LoadPluginLibrary(const std::string& folder, const char* name);
  void SetUpComponents();
  // The scan's record of one file: added, then completed with its outcome.
  LoadRecord& RecordFile(const char* name);
  void FinishRecord(LoadRecord& record, int32_t outcome, const char* detail) noexcept;
  LoadRecord* RecordOf(const char* fileName) noexcept;
  void UnloadPlugins();
  void ReadSettings();
  void WriteSettings();
  // Whether the calling thread is inside the scan, the readiness check or the unload,
  // that is, calling back from plug-in code that the cycle runs.
  bool InsideCycle() const noexcept;
  // Marks the calling thread as inside the cycle for the scope's duration.
  class CycleScope {
   public:
    explicit CycleScope(Manager& manager) noexcept
        : manager_(manager), previous_(manager.cycleThread_) {
      manager_.cycleThread_ = GetCurrentThreadId();
    }
    ~CycleScope() { manager_.cycleThread_ = previous_; }
    CycleScope(const CycleScope&) = delete;
    CycleScope& operator=(const CycleScope&) = delete;

   private:
    Manager& manager_;
    DWORD previous_;
  };

  // Room for every face of every layer; SetFace refuses beyond it.
  static constexpr size_t kMaxFaces = 24;

  QueryRow faces_[kMaxFaces] = {};
  size_t faceCount_ = 0;
  std::vector<std::unique_ptr<ManagerPart>> parts_;
  SourceService* sourceService_ = nullptr;
  std::vector<ServiceEntry> services_;
  std::vector<com_ptr<IComponent>> catalogue_;
  std::vector<std::unique_ptr<PluginModule>> modules_;
  std::vector<ComponentOrigin> origins_;  // parallel to catalogue_
  std::vector<LoadRecord> loadRecords_;
  std::vector<IManagerListener*> listeners_;  // not counted
  RecursiveLock listenerLock_;
  com_ptr<IConvertor> convertor_;
  com_ptr<IDownloader> downloader_;
  volatile LONG refCount_ = 0;
  volatile LONG initCount_ = 0;
  // The thread running the scan, the readiness check or the unload; 0 when none.
  volatile DWORD cycleThread_ = 0;
  std::string pluginFolder_;
  std::string keyName2_;
  std::string keyName1_;
  int32_t artistTitleSource_ = 0;
  int32_t artistTitleFileNameFormat_ = 0;
  std::vector<std::string> sourceOrder_;
  bool useHostModuleFolder_ = false;
  // Set once the settings have been read from the registry: a Finish before that
  // must not overwrite stored settings with values that were never read.
  bool settingsRead_ = false;
};

}  // namespace tb

#endif  // TB_CORE_MANAGER_H
