// The configurable test plug-in (see tp_log.h). Built several times: with __cdecl or
// __stdcall entry points, and without one or the other entry point.
#include <windows.h>

#include <tunebay/tunebay.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "tp_log.h"

#ifdef TP_STDCALL_ENTRIES
#define TP_ENTRY __stdcall
#else
#define TP_ENTRY __cdecl
#endif

namespace {

char g_base[64];
LONG g_live = 0;
tb::IManager* g_manager = nullptr;  // not counted: the manager outlives its plug-ins
bool g_faultedOnce = false;

// The log block's address is read anew for every line: the test clears the variable
// when its block goes away, and a library left loaded must not write into it later.
void Log(const char* format, ...) {
  char address[32];
  DWORD n = GetEnvironmentVariableA("TP_LOG", address, sizeof address);
  if (n == 0 || n >= sizeof address) return;
  TpLog* log = nullptr;
  if (std::sscanf(address, "%p", reinterpret_cast<void**>(&log)) != 1 || !log) return;
  char line[256];
  int used = std::snprintf(line, sizeof line, "%s ", g_base);
  va_list args;
  va_start(args, format);
  used += std::vsnprintf(line + used, sizeof line - used - 1, format, args);
  va_end(args);
  if (used > static_cast<int>(sizeof line) - 2) used = sizeof line - 2;
  line[used++] = '\n';
  LONG at = InterlockedExchangeAdd(&log->length, used);
  if (at + used <= static_cast<LONG>(sizeof log->text)) std::memcpy(log->text + at, line, used);
}

bool Setting(const char* prefix, char* out, DWORD size) {
  char name[96];
  std::snprintf(name, sizeof name, "%s%s", prefix, g_base);
  DWORD n = GetEnvironmentVariableA(name, out, size);
  return n > 0 && n < size;
}

bool HasMode(const char* token) {
  char mode[256];
  if (!Setting("TP_MODE_", mode, sizeof mode)) return false;
  for (char* part = std::strtok(mode, ","); part; part = std::strtok(nullptr, ",")) {
    if (std::strcmp(part, token) == 0) return true;
  }
  return false;
}

volatile uintptr_t g_badAddress = 0x10;

void Fault() { *reinterpret_cast<volatile int*>(g_badAddress) = 1; }

// Shaped like the exception an MSVC-built plug-in throws.
void RaiseForeignException() {
  static int object = 1;
  ULONG_PTR params[3] = {0x19930520, reinterpret_cast<ULONG_PTR>(&object), 0};
  RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 3, params);
}

class Error final : public tb::IError {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, tb::iid_of<tb::IError>())) {
      return E_NOINTERFACE;
    }
    *out = static_cast<tb::IError*>(this);
    AddRef();
    return S_OK;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return ++refs_; }
  ULONG TB_STDCALL Release() noexcept override {
    if (refs_ == 0) {
      Log("overrelease error");
      return 0;
    }
    if (--refs_ == 0) Log("destroy error");
    return refs_;
  }
  const char* TB_STDCALL GetMessage() noexcept override { return "setup refused"; }
  uint32_t TB_STDCALL GetCode() noexcept override { return 0; }
  uint32_t TB_STDCALL GetSystemError() noexcept override { return 0; }

 private:
  ULONG refs_ = 1;
};

const int kMaxItems = 8;

class Component final : public tb::IComponent,
                        public tb::IComponentCollection,
                        public tb::IConvertor,
                        public tb::IDownloader {
 public:
  Component(int32_t kind, const char* name, const char* flags) : kind_(kind) {
    std::snprintf(name_, sizeof name_, "%s", name);
    failSetup_ = std::strchr(flags, '!') || std::strchr(flags, '^');
    reportError_ = std::strchr(flags, '^') || std::strchr(flags, '+');
    noInterface_ = std::strchr(flags, '~') != nullptr;
    ++g_live;
  }

  void Add(Component* item) {
    if (count_ < kMaxItems) items_[count_++] = item;
  }
  ULONG refs() const { return refs_; }
  bool alive() const { return refs_ > 0; }
  int32_t kind() const { return kind_; }
  const char* name() const { return name_; }

  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown)) {
      *out = static_cast<tb::IComponent*>(this);
    } else if (kind_ == tb::kKindCollection &&
               IsEqualGUID(iid, tb::iid_of<tb::IComponentCollection>())) {
      *out = static_cast<tb::IComponentCollection*>(this);
    } else if (kind_ == tb::kKindConvertor && IsEqualGUID(iid, tb::iid_of<tb::IConvertor>())) {
      Log("query %s convertor", name_);
      if (!noInterface_) *out = static_cast<tb::IConvertor*>(this);
    } else if (kind_ == tb::kKindDownloader && IsEqualGUID(iid, tb::iid_of<tb::IDownloader>())) {
      Log("query %s downloader", name_);
      if (!noInterface_) *out = static_cast<tb::IDownloader*>(this);
    }
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return ++refs_; }
  ULONG TB_STDCALL Release() noexcept override {
    if (refs_ == 0) {
      Log("overrelease %s", name_);
      return 0;
    }
    if (--refs_ > 0) return refs_;
    Log("destroy %s", name_);
    --g_live;
    for (int i = 0; i < count_; ++i) items_[i]->Release();
    count_ = 0;
    return 0;
  }

  const char* TB_STDCALL GetName() noexcept override { return name_; }
  int32_t TB_STDCALL GetKind() noexcept override { return kind_; }
  bool TB_STDCALL Setup(tb::IManager* manager, tb::IError** error) noexcept override;
  void TB_STDCALL Shutdown() noexcept override;

  int32_t TB_STDCALL GetCount() noexcept override { return count_; }
  bool TB_STDCALL GetItem(int32_t index, tb::IComponent** item) noexcept override {
    if (!item || index < 0 || index >= count_) return false;
    *item = items_[index];
    items_[index]->AddRef();
    return true;
  }

  bool TB_STDCALL CanConvert(const tb::AudioFormat*, const tb::AudioFormat*) noexcept override {
    return false;
  }
  bool TB_STDCALL CreateConversion(const tb::AudioFormat*, const tb::AudioFormat*,
                                   tb::IConversion**, int32_t) noexcept override {
    return false;
  }

  uint32_t TB_STDCALL GetProtocols() noexcept override { return tb::kProtocolHttp; }
  bool TB_STDCALL Download(const char*, char*, int32_t, tb::IError**) noexcept override {
    return false;
  }

 private:
  int32_t kind_;
  char name_[32];
  ULONG refs_ = 1;
  bool failSetup_;
  bool reportError_;
  bool noInterface_;
  Component* items_[kMaxItems];
  int count_ = 0;
};

// Objects live in static pools: nothing is freed, so a call on a destroyed object is
// logged instead of touching freed memory, and the pools go with the library.
const int kPoolSize = 64;
alignas(Component) unsigned char g_components[kPoolSize][sizeof(Component)];
int g_componentCount = 0;
alignas(Error) unsigned char g_errors[kPoolSize][sizeof(Error)];
int g_errorCount = 0;
int g_collectionCount = 0;

Component* NewComponent(int32_t kind, const char* name, const char* flags) {
  if (g_componentCount == kPoolSize) return nullptr;
  return new (g_components[g_componentCount++]) Component(kind, name, flags);
}

Component* ComponentAt(int i) {
  return std::launder(reinterpret_cast<Component*>(g_components[i]));
}

// Calls back into the manager's cycle from inside it, as a confused plug-in might.
void Reenter(const char* where) {
  if (!g_manager) return;
  if (HasMode("reenter=initialise")) {
    SetLastError(0);
    const bool ok = g_manager->Initialise();
    Log("%s initialise=%d error=%lx", where, ok, GetLastError());
  }
  if (HasMode("reenter=finish")) {
    SetLastError(0);
    const bool ok = g_manager->Finish();
    Log("%s finish=%d error=%lx", where, ok, GetLastError());
  }
}

bool Component::Setup(tb::IManager* manager, tb::IError** error) noexcept {
  Log("setup %s%s", name_, manager ? "" : " without manager");
  g_manager = manager;
  Reenter("in setup");
  if (reportError_ && error && g_errorCount < kPoolSize) {
    *error = new (g_errors[g_errorCount++]) Error();
  }
  return !failSetup_;
}

void Component::Shutdown() noexcept {
  Log("shutdown %s", name_);
  Reenter("in shutdown");
}

Component* ParseItem(const char*& p) {
  if (*p == '[') {
    ++p;
    char name[16];
    std::snprintf(name, sizeof name, "coll%d", g_collectionCount++);
    Component* collection = NewComponent(tb::kKindCollection, name, "");
    while (*p && *p != ']') {
      Component* item = ParseItem(p);
      if (item && collection) collection->Add(item);
      if (*p == ',') ++p;
    }
    if (*p == ']') ++p;
    return collection;
  }
  char* end = nullptr;
  const long kind = std::strtol(p, &end, 10);
  p = end;
  if (*p == ':') ++p;
  char name[32];
  size_t n = 0;
  while (*p && !std::strchr(",]!^+~", *p) && n + 1 < sizeof name) name[n++] = *p++;
  name[n] = '\0';
  char flags[8];
  n = 0;
  while (*p && std::strchr("!^+~", *p) && n + 1 < sizeof flags) flags[n++] = *p++;
  flags[n] = '\0';
  return NewComponent(static_cast<int32_t>(kind), name, flags);
}

}  // namespace

extern "C" bool TP_ENTRY ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) {
  Log("primary");
  if (HasMode("primary=av")) Fault();
  if (HasMode("primary=raise")) RaiseForeignException();
  if (HasMode("primary=throw")) throw std::runtime_error("primary object refused");
  if (HasMode("primary=false")) return false;
  if (HasMode("primary=hang")) Sleep(INFINITE);
  // Ends the process the way a fail-fast check does, past every exception handler.
  if (HasMode("primary=failfast")) TerminateProcess(GetCurrentProcess(), 0xC0000409);
  // A plug-in that moves the process's current directory while it loads.
  if (HasMode("primary=chdir")) {
    char windows[MAX_PATH];
    if (GetWindowsDirectoryA(windows, MAX_PATH)) SetCurrentDirectoryA(windows);
  }
  if (HasMode("primary=null")) {
    *out = nullptr;
    return true;
  }
  char tree[512];
  if (!Setting("TP_TREE_", tree, sizeof tree)) std::snprintf(tree, sizeof tree, "3:%s", g_base);
  const char* p = tree;
  *out = ParseItem(p);
  return *out != nullptr;
}

extern "C" bool TP_ENTRY ORVA_PLUGIN_ReadyToFinish() {
  Log("ready");
  if (HasMode("ready=av-once") && !g_faultedOnce) {
    g_faultedOnce = true;
    Fault();
  }
  if (HasMode("ready=av")) Fault();
  if (HasMode("ready=raise")) RaiseForeignException();
  if (HasMode("ready=throw")) throw std::runtime_error("not ready");
  if (HasMode("ready=false")) return false;
  Reenter("in ready");
  if (HasMode("ready=sole")) {
    for (int i = 0; i < g_componentCount; ++i) {
      Component* c = ComponentAt(i);
      if (c->alive() && c->kind() != tb::kKindCollection && c->refs() != 1) {
        Log("busy %s refs=%lu", c->name(), c->refs());
        return false;
      }
    }
  }
  return true;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(instance, path, MAX_PATH);
    path[n < MAX_PATH ? n : MAX_PATH - 1] = '\0';
    const char* name = std::strrchr(path, '\\');
    name = name ? name + 1 : path;
    size_t i = 0;
    for (; name[i] && name[i] != '.' && i + 1 < sizeof g_base; ++i) {
      char c = name[i];
      g_base[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
    g_base[i] = '\0';
    Log("attach");
  } else if (reason == DLL_PROCESS_DETACH && !reserved) {
    Log("detach live=%ld", g_live);
  }
  return TRUE;
}
