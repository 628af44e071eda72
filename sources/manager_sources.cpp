// Placeholder until source resolution and the proxies land.
#include "core/manager.h"

namespace tb {

bool TB_STDCALL Manager::OpenSource(const char*, const AudioFormat*, IUnknown** source, int32_t,
                                    uint32_t, uint32_t, IError**) noexcept {
  (void)source;
  return false;
}

bool TB_STDCALL Manager::CreateSink(ISinkCreator*, IUnknown**, const AudioFormat*,
                                    int32_t) noexcept {
  return false;
}

}  // namespace tb
