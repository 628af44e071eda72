#include "core/manager.h"
#include "core/trace.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/error_object.h"
#include "core/globals.h"
#include "core/plugin_module.h"

namespace tb {

namespace {
// The live manager of the process, or null. Read and written under GlobalLock.
Manager* g_singleton = nullptr;
}  // namespace

Manager::Manager() {
  // IManager is reached only through GetTunebay; the base identifier yields the
  // catalogue interface, which hosts rely on.
  SetFace(IID_IUnknown, static_cast<IComponentCollection*>(this));
  SetFace(iid_of<IComponentCollection>(), static_cast<IComponentCollection*>(this));
  SetFace(iid_of<IRegistryLocation>(), static_cast<IRegistryLocation*>(this));
  SetFace(iid_of<IComponentOrigin>(), static_cast<IComponentOrigin*>(this));
  SetFace(iid_of<IModuleLocation>(), static_cast<IModuleLocation*>(this));
}

Manager::~Manager() {
  // Catalogue components and plug-in libraries belong to the initialise/finish cycle:
  // a manager dropped while still initialised leaves them loaded, since proxies or
  // host code may still be running inside them.
  for (com_ptr<IComponent>& component : catalogue_) component.detach();
  for (std::unique_ptr<PluginModule>& module : modules_) module.release();
}

bool Manager::GetInstance(IManager** out, Assembly assemble) noexcept {
  if (!out) return false;
  LockGuard lock(GlobalLock());
  if (!g_singleton) {
    Manager* created = new (std::nothrow) Manager();
    // The parts are added before anyone can see the object, so its face table never
    // changes while a host queries it.
    if (created && assemble && !assemble(*created)) {
      delete created;
      created = nullptr;
    }
    if (!created) {
      *out = nullptr;
      return false;
    }
    g_singleton = created;
    TraceFromEnvironment();
  }
  // Counts only rise from 0 under GlobalLock, so a concurrent last Release cannot
  // destroy the object between the lookup and this increment.
  g_singleton->AddRef();
  *out = g_singleton->primary();
  return true;
}

bool Manager::AddPart(std::unique_ptr<ManagerPart> part) noexcept {
  if (!part) return false;
  try {
    parts_.push_back(std::move(part));
  } catch (...) {
    return false;
  }
  return true;
}

bool Manager::SetFace(const GUID& iid, IUnknown* face) noexcept {
  if (!face) return false;
  for (size_t i = 0; i < faceCount_; ++i) {
    if (same_iid(*faces_[i].iid, iid)) {
      faces_[i].face = face;
      return true;
    }
  }
  if (faceCount_ == kMaxFaces) return false;
  faces_[faceCount_++] = QueryRow{&iid, face};
  return true;
}

HRESULT TB_STDCALL Manager::QueryInterface(REFIID iid, void** out) noexcept {
  // Every face forwards AddRef to this object, so the table's one reference is ours.
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  for (size_t i = 0; i < faceCount_; ++i) {
    if (same_iid(iid, *faces_[i].iid)) {
      AddRef();
      *out = faces_[i].face;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

ULONG TB_STDCALL Manager::AddRef() noexcept { return InterlockedIncrement(&refCount_); }

ULONG TB_STDCALL Manager::Release() noexcept {
  // Fast path while other references remain; the step from 1 to 0 is taken under
  // GlobalLock so that GetTunebay on another thread never revives a dying object.
  for (;;) {
    LONG current = refCount_;
    if (current <= 1) break;
    if (InterlockedCompareExchange(&refCount_, current - 1, current) == current) {
      return current - 1;
    }
  }
  bool destroy = false;
  LONG left;
  {
    LockGuard lock(GlobalLock());
    left = InterlockedDecrement(&refCount_);
    if (left == 0) {
      if (g_singleton == this) g_singleton = nullptr;
      destroy = true;
    }
  }
  if (destroy) delete this;
  return left;
}

bool TB_STDCALL Manager::SetPluginFolder(const char* folder) noexcept {
  if (initCount_ != 0) return false;
  try {
    pluginFolder_ = folder ? folder : "";
  } catch (...) {
    return false;
  }
  return true;
}

bool TB_STDCALL Manager::Reserved(void*) noexcept { return false; }

bool TB_STDCALL Manager::OpenSource(const char* name, const AudioFormat* format, IUnknown** source,
                                    int32_t pass, uint32_t requiredMask, uint32_t excludedMask,
                                    IError** error) noexcept {
  if (!sourceService_) {
    ReportError(error, result::CallNotImplemented);
    return false;
  }
  return sourceService_->OpenSource(name, format, source, pass, requiredMask, excludedMask, error);
}

bool TB_STDCALL Manager::CreateSink(ISinkCreator* creator, IUnknown** sink,
                                    const AudioFormat* format, int32_t argument) noexcept {
  return sourceService_ && sourceService_->CreateSink(creator, sink, format, argument);
}

bool TB_STDCALL Manager::RegisterService(const GUID* id, IUnknown* object) noexcept {
  if (!id || LookupService(id, nullptr)) return false;
  try {
    services_.push_back(ServiceEntry{*id, com_ptr<IUnknown>(object)});
  } catch (...) {
    return false;
  }
  return true;
}

bool TB_STDCALL Manager::UnregisterService(const GUID* id) noexcept {
  if (!id) return false;
  auto it = std::find_if(services_.begin(), services_.end(),
                         [id](const ServiceEntry& entry) { return same_iid(entry.id, *id); });
  if (it == services_.end()) return false;
  // Take the reference out first, so a service released into our registry finds it
  // consistent.
  com_ptr<IUnknown> object = std::move(it->object);
  services_.erase(it);
  return true;
}

bool TB_STDCALL Manager::LookupService(const GUID* id, IUnknown** object) noexcept {
  if (!id) return false;
  for (const ServiceEntry& entry : services_) {
    if (same_iid(entry.id, *id)) {
      entry.object.copy_to(object);
      return true;
    }
  }
  return false;
}

bool TB_STDCALL Manager::DescribeError(IError* error, IError** described) noexcept {
  return tb::DescribeError(error, described);
}

bool TB_STDCALL Manager::SetConvertor(IConvertor* convertor, IError** error) noexcept {
  if (error) *error = nullptr;
  if (!convertor) {
    ReportError(error, result::InvalidParameter);
    return false;
  }
  convertor_ = com_ptr<IConvertor>(convertor);
  return true;
}

bool TB_STDCALL Manager::GetConvertor(IConvertor** convertor) noexcept {
  if (!convertor) return false;
  *convertor = nullptr;
  convertor_.copy_to(convertor);
  return true;
}

bool TB_STDCALL Manager::Notify(int32_t code, void* parameter) noexcept {
  LockGuard lock(listenerLock_);
  // Listeners may add or remove listeners from inside the event. The event goes to
  // the listeners registered when it started, each at most once, and not to one that
  // was removed before its turn came; listeners added meanwhile hear the next event.
  std::vector<IManagerListener*> snapshot;
  try {
    snapshot = listeners_;
  } catch (...) {
    return true;
  }
  for (IManagerListener* listener : snapshot) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) continue;
    listener->OnManagerEvent(code, parameter);
  }
  return true;
}

bool TB_STDCALL Manager::AddListener(IManagerListener* listener) noexcept {
  // A null listener would be called at the next event; refuse it.
  if (!listener) return false;
  LockGuard lock(listenerLock_);
  if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) return true;
  try {
    listeners_.push_back(listener);
  } catch (...) {
    return false;
  }
  return true;
}

bool TB_STDCALL Manager::RemoveListener(IManagerListener* listener) noexcept {
  LockGuard lock(listenerLock_);
  auto it = std::find(listeners_.begin(), listeners_.end(), listener);
  if (it == listeners_.end()) return false;
  listeners_.erase(it);
  return true;
}

void Manager::AddComponent(IComponent* component, const char* moduleFileName, int32_t index) {
  AddComponentAt(component, moduleFileName, index, 0);
}

void Manager::AddComponentAt(IComponent* component, const char* moduleFileName, int32_t index,
                             int depth) {
  if (!component) return;
  com_ptr<IComponent> owned = com_ptr<IComponent>::adopt(component);
  if (owned->GetKind() == kKindCollection) {
    // Past the depth limit a collection contributes nothing, like one that does not
    // answer the collection query.
    if (depth >= kMaxCollectionDepth) return;
    com_ptr<IComponentCollection> collection = owned.query<IComponentCollection>();
    if (!collection) return;
    const int32_t count = collection->GetCount();
    for (int32_t j = 0; j < count; ++j) {
      IComponent* item = nullptr;
      if (collection->GetItem(j, &item) && item) AddComponentAt(item, moduleFileName, j, depth + 1);
    }
    return;
  }
  ComponentOrigin origin{};
  if (moduleFileName) {
    std::strncpy(origin.moduleFileName, moduleFileName, kOriginNameSize - 1);
  }
  origin.index = index;
  // Both lists grow together or not at all: room in the origins first (growing
  // geometrically), so that the second push cannot throw after the first succeeded.
  if (origins_.size() == origins_.capacity()) origins_.reserve(origins_.size() * 2 + 4);
  catalogue_.push_back(std::move(owned));
  origins_.push_back(origin);
}

}  // namespace tb
