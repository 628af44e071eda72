#include "core/trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace tb {

namespace {
TraceSink volatile g_sink = nullptr;
}  // namespace

void Trace(const char* format, ...) noexcept {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
#ifdef TB_ENABLE_TRACE
  OutputDebugStringA(text);
#endif
  if (TraceSink sink = g_sink) sink(text);
}

void SetTraceSink(TraceSink sink) noexcept { g_sink = sink; }

}  // namespace tb
