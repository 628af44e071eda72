#include "plugins/common/live_objects.h"

namespace tb::plugin {
namespace {

LONG g_liveObjects = 0;

}  // namespace

void AddLiveObject() noexcept { InterlockedIncrement(&g_liveObjects); }
void RemoveLiveObject() noexcept { InterlockedDecrement(&g_liveObjects); }
LONG LiveObjectCount() noexcept { return InterlockedCompareExchange(&g_liveObjects, 0, 0); }

}  // namespace tb::plugin
