// Plug-in discovery and loading: the scan of the plug-in folder, the readiness check
// and unloading.
#include <windows.h>

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/ascii.h"
#include "base/handles.h"
#include "base/image_check.h"
#include "core/globals.h"
#include "core/manager.h"
#include "core/module_names.h"
#include "core/plugin_module.h"
#include "core/trace.h"

namespace tb {

namespace {

// The current directory, of any length; empty when it cannot be read.
std::string CurrentDirectory() {
  const DWORD size = GetCurrentDirectoryA(0, nullptr);
  if (size == 0) return std::string();
  std::string folder(size, '\0');
  const DWORD length = GetCurrentDirectoryA(size, &folder[0]);
  if (length == 0 || length >= size) return std::string();
  folder.resize(length);
  return folder;
}

// The full path of a folder search entry in the searched folder. Nothing when it does
// not fit the platform's path buffer: cutting it could name another library, and so
// could the bare name, which the loader would look for along its search path.
std::optional<std::string> FullLoadPath(const std::string& folder, const char* name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += name;
  if (path.size() > kMaxLoadPathLength) return std::nullopt;
  return path;
}

// Where the designated module lives when the host asked for its own folder. Nothing
// when the executable's path cannot be found out: then the module is not loaded at
// all rather than from some other place.
std::optional<std::string> HostModuleLoadPath() {
  std::vector<char> buffer(32768);
  const DWORD length =
      GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::nullopt;
  return HostModulePath(std::string_view(buffer.data(), length));
}

// A file that is no library for this process (another architecture, a damaged file)
// must not stop the host on a system message box.
// Copies a text into a fixed record field, cut to fit and always terminated.
void CopyText(char* field, size_t size, const char* text) noexcept {
  if (!text) text = "";
  size_t i = 0;
  for (; i + 1 < size && text[i]; ++i) field[i] = text[i];
  field[i] = '\0';
}

HMODULE LoadLibraryQuietly(const std::string& path) noexcept {
  DWORD previous = 0;
  const bool changed =
      SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous) != 0;
  HMODULE module = LoadLibraryA(path.c_str());
  if (changed) SetThreadErrorMode(previous, nullptr);
  return module;
}

// Drops the manager's reference to a held object for the readiness check and returns
// the object to hold again afterwards. When ours is the only reference (a convertor
// the host set and then released), dropping it would destroy the object, so it is
// kept held and null is returned.
template <class T>
T* LetGoForCheck(com_ptr<T>& member) noexcept {
  T* object = member.get();
  if (!object) return nullptr;
  const ULONG count = object->AddRef();
  object->Release();
  if (count <= 2) return nullptr;
  member.detach()->Release();
  return object;
}

template <class T>
void HoldAgain(com_ptr<T>& member, T* kept) noexcept {
  if (kept) member = com_ptr<T>(kept);
}

}  // namespace

void Manager::ScanPlugins() {
  // Plug-ins may load further libraries from beside themselves, so their folder is the
  // current directory while they are loaded and set up. The host's own directory is
  // put back on every path; if it cannot even be read, it is not changed, and the
  // search runs in it as when the plug-in folder cannot be made current.
  const std::string remembered = CurrentDirectory();
  const char* folder = pluginFolder_.empty() ? "." : pluginFolder_.c_str();
  const bool moved = !remembered.empty() && SetCurrentDirectoryA(folder);
  auto restore = make_scope_exit([&] {
    if (moved) SetCurrentDirectoryA(remembered.c_str());
  });
  // The folder searched, fixed now: a plug-in that changes the current directory while
  // it loads must not make the next library's path point elsewhere.
  const std::string searched = CurrentDirectory();
  loadRecords_.clear();

  const std::string pattern =
      searched + (!searched.empty() && searched.back() == '\\' ? "*.dll" : "\\*.dll");
  WIN32_FIND_DATAA entry;
  unique_hfind search(searched.empty() ? INVALID_HANDLE_VALUE
                                       : FindFirstFileA(pattern.c_str(), &entry));
  if (search.get() != INVALID_HANDLE_VALUE) {
    do {
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      if (moved) SetCurrentDirectoryA(searched.c_str());
      // A failure (out of memory) skips this library alone; Initialise catches the rest.
      try {
        LoadPluginLibrary(searched, entry.cFileName);
      } catch (...) {
      }
    } while (FindNextFileA(search.get(), &entry));
  }
  search.reset();
  if (moved) SetCurrentDirectoryA(searched.c_str());

  SetUpComponents();
}

void Manager::LoadPluginLibrary(const std::string& folder, const char* name) {
  LoadRecord& record = RecordFile(name);
  if (!IsAdmittedModuleName(name)) {
    FinishRecord(record, kLoadSkippedName,
                 "the name neither starts with \"zq\" nor is an allow-listed one");
    return;
  }
  const std::optional<std::string> path = useHostModuleFolder_ && IsDesignatedModuleName(name)
                                              ? HostModuleLoadPath()
                                              : FullLoadPath(folder, name);
  if (!path) {
    FinishRecord(record, kLoadSkippedPath, "its full path is too long to load");
    return;
  }
  HMODULE handle = LoadLibraryQuietly(*path);
  if (!handle) {
    record.systemError = GetLastError();
    FinishRecord(record, kLoadFailed, ExplainLoadFailure(*path, record.systemError).c_str());
    return;
  }
  // A constructor that throws has already freed the library through its member.
  PluginModule* created = new (std::nothrow) PluginModule(path->c_str(), handle);
  if (!created) {
    FreeLibrary(handle);
    FinishRecord(record, kLoadOutOfMemory, "");
    return;
  }
  std::unique_ptr<PluginModule> module(created);
  if (!module->hasEntryPoints()) {
    FinishRecord(record, kLoadNoEntryPoint, module->missingEntryPoint());
    return;
  }
  // The record joins the list before any component of the library enters the
  // catalogue, so that nothing can free the code of a catalogued component.
  modules_.push_back(std::move(module));

  IComponent* primary = nullptr;
  // After a false result the slot may hold whatever the plug-in left there; it is not
  // touched. A library whose call fails stays loaded without components.
  PluginModule& loaded = *modules_.back();
  if (loaded.CallGetPrimaryAudioObject(&primary) && primary) {
    AddComponent(primary, name, 0);
    FinishRecord(record, kLoadLoaded, "");
  } else if (loaded.lastFault() != 0) {
    record.faultCode = loaded.lastFault();
    FinishRecord(record, kLoadFault, TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT);
  } else {
    FinishRecord(record, kLoadPrimaryFalse, "");
  }
}

LoadRecord& Manager::RecordFile(const char* name) {
  LoadRecord record{};
  CopyText(record.fileName, sizeof record.fileName, name);
  // What stays when something below throws; the scan goes on with the next file.
  record.outcome = kLoadOutOfMemory;
  loadRecords_.push_back(record);
  return loadRecords_.back();
}

void Manager::FinishRecord(LoadRecord& record, int32_t outcome, const char* detail) noexcept {
  record.outcome = outcome;
  CopyText(record.detail, sizeof record.detail, detail);
  if (outcome == kLoadSkippedName) {
    Trace("%s: skipped: %s\n", record.fileName, record.detail);
  } else if (outcome == kLoadFailed) {
    Trace("%s: not loaded (system error %lu): %s\n", record.fileName,
          static_cast<unsigned long>(record.systemError), record.detail);
  } else if (outcome == kLoadFault) {
    Trace("%s: fault 0x%08lx in %s\n", record.fileName,
          static_cast<unsigned long>(record.faultCode), record.detail);
  } else if (outcome != kLoadLoaded) {
    Trace("%s: not used (outcome %ld) %s\n", record.fileName, static_cast<long>(outcome),
          record.detail);
  }
}

void Manager::SetUpComponents() {
  // Components are set up once every library is in, so a component's Setup may rely
  // on the whole catalogue. The first convertor and downloader that set up are held.
  size_t i = 0;
  while (i < catalogue_.size()) {
    IComponent* component = catalogue_[i].get();
    com_ptr<IError> error;
    LoadRecord* record = RecordOf(origins_[i].moduleFileName);
    if (component && component->Setup(primary(), error.put())) {
      const int32_t kind = component->GetKind();
      if (kind == kKindConvertor && !convertor_) {
        convertor_ = catalogue_[i].query<IConvertor>();
      } else if (kind == kKindDownloader && !downloader_) {
        downloader_ = catalogue_[i].query<IDownloader>();
      }
      if (record) ++record->componentCount;
      ++i;
    } else {
      if (record && ++record->refusedCount == 1) {
        const char* componentName = component ? component->GetName() : nullptr;
        record->outcome = kLoadSetupRefused;
        CopyText(record->detail, sizeof record->detail, componentName ? componentName : "");
        Trace("%s: Setup of %s answered false\n", record->fileName, record->detail);
      }
      catalogue_.erase(catalogue_.begin() + static_cast<std::ptrdiff_t>(i));
      origins_.erase(origins_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  for (const LoadRecord& record : loadRecords_) {
    if (record.outcome == kLoadLoaded || record.outcome == kLoadSetupRefused) {
      Trace("%s: loaded with %ld component%s\n", record.fileName,
            static_cast<long>(record.componentCount), record.componentCount == 1 ? "" : "s");
    }
  }
}

LoadRecord* Manager::RecordOf(const char* fileName) noexcept {
  // Records are few; the newest of a name is the one of this scan.
  for (auto it = loadRecords_.rbegin(); it != loadRecords_.rend(); ++it) {
    if (EqualsIgnoringAsciiCase(it->fileName, fileName)) return &*it;
  }
  return nullptr;
}

bool TB_STDCALL Manager::IsReadyToFinish() noexcept {
  if (InterlockedCompareExchange(&initCount_, 0, 0) == 0 || LiveProxyCount() != 0) {
    Trace("Plugins are not loaded so they cannot be unloaded\n");
    return false;
  }
  // The plug-ins judge whether they are still in use by the references to their
  // objects; the manager's own references to the held convertor and downloader are
  // let go while they are asked. The catalogue (or, for a convertor it set, the host)
  // keeps the objects alive meanwhile.
  IConvertor* convertor = LetGoForCheck(convertor_);
  IDownloader* downloader = LetGoForCheck(downloader_);
  bool ready = true;
  {
    LockGuard lock(GlobalLock());
    CycleScope scope(*this);
    Trace("Checking ReadyToFinish of all the plugins\n");
    for (const std::unique_ptr<PluginModule>& module : modules_) {
      if (!module->CallReadyToFinish()) {
        Trace("Plugin %s is not ready to finish\n", module->baseName().c_str());
        ready = false;
        break;
      }
    }
    HoldAgain(convertor_, convertor);
    HoldAgain(downloader_, downloader);
  }
  Trace("Plugins can %sbe unloaded\n", ready ? "" : "not ");
  return ready;
}

void Manager::UnloadPlugins() {
  convertor_.reset();
  downloader_.reset();
  // The lists are emptied before any plug-in code runs, so a component that calls
  // back into the manager while it shuts down never meets one that is already gone.
  std::vector<com_ptr<IComponent>> catalogue = std::move(catalogue_);
  std::vector<ComponentOrigin> origins = std::move(origins_);
  std::vector<std::unique_ptr<PluginModule>> modules = std::move(modules_);
  catalogue_.clear();
  origins_.clear();
  modules_.clear();
  for (com_ptr<IComponent>& component : catalogue) {
    if (!component) continue;
    component->Shutdown();
    component.reset();
  }
  origins.clear();
  // Libraries go last and in load order: no component of theirs is left to call.
  for (std::unique_ptr<PluginModule>& module : modules) module.reset();
}

}  // namespace tb
