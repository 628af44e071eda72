#include "core/globals.h"

namespace tb {

namespace {
// Both are constructed by the runtime when the library is loaded, before any host
// can call into it.
RecursiveLock g_globalLock;
volatile LONG g_liveProxyCount = 0;
}  // namespace

RecursiveLock& GlobalLock() noexcept { return g_globalLock; }

LONG LiveProxyCount() noexcept { return InterlockedCompareExchange(&g_liveProxyCount, 0, 0); }
void IncrementLiveProxyCount() noexcept { InterlockedIncrement(&g_liveProxyCount); }
void DecrementLiveProxyCount() noexcept { InterlockedDecrement(&g_liveProxyCount); }

HMODULE LibraryModule() noexcept {
  // Asked by address rather than remembered from DllMain, so that it also holds when
  // the library is linked into a program. The handle needs no reference: the module
  // cannot go away while its own code runs.
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&LibraryModule), &module);
  return module;
}

}  // namespace tb
