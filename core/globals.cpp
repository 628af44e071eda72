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

}  // namespace tb
