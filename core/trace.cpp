#include "core/trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/lock.h"

namespace tb {

namespace {

enum Mode : LONG { kOff = 0, kStandardError = 1, kFile = 2 };

TraceSink volatile g_sink = nullptr;
#ifdef TB_ENABLE_TRACE
volatile LONG g_mode = kStandardError;
#else
volatile LONG g_mode = kOff;
#endif
// The file of kFile; written and replaced under the lock.
HANDLE g_file = INVALID_HANDLE_VALUE;

RecursiveLock& TraceLock() {
  static RecursiveLock lock;
  return lock;
}

void Write(HANDLE handle, const char* text, size_t length) {
  DWORD written = 0;
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr) {
    WriteFile(handle, text, static_cast<DWORD>(length), &written, nullptr);
  }
}

// The file goes with the library: a host that frees tunebay.dll keeps no handle of it.
struct TraceFileClosing {
  ~TraceFileClosing() {
    g_mode = kOff;
    if (g_file != INVALID_HANDLE_VALUE) CloseHandle(g_file);
    g_file = INVALID_HANDLE_VALUE;
  }
} traceFileClosing;

}  // namespace

bool TraceEnabled() noexcept { return g_mode != kOff || g_sink != nullptr; }

void Trace(const char* format, ...) noexcept {
  if (!TraceEnabled()) return;
  char text[512] = "tunebay: ";
  const size_t prefix = std::strlen(text);
  va_list args;
  va_start(args, format);
  std::vsnprintf(text + prefix, sizeof text - prefix, format, args);
  va_end(args);
  if (TraceSink sink = g_sink) sink(text + prefix);
  const LONG mode = g_mode;
  if (mode == kOff) return;
  const size_t length = std::strlen(text);
  LockGuard lock(TraceLock());
  if (mode == kStandardError) {
    OutputDebugStringA(text);
    Write(GetStdHandle(STD_ERROR_HANDLE), text, length);
  } else if (mode == kFile) {
    Write(g_file, text, length);
  }
}

bool SetTraceDestination(const char* destination) noexcept {
  LockGuard lock(TraceLock());
  InterlockedExchange(&g_mode, kOff);
  if (g_file != INVALID_HANDLE_VALUE) CloseHandle(g_file);
  g_file = INVALID_HANDLE_VALUE;
  if (!destination || !*destination || std::strcmp(destination, "0") == 0) return true;
  if (std::strcmp(destination, "1") == 0 || std::strcmp(destination, "stderr") == 0) {
    InterlockedExchange(&g_mode, kStandardError);
    return true;
  }
  g_file = CreateFileA(destination, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (g_file == INVALID_HANDLE_VALUE) return false;
  InterlockedExchange(&g_mode, kFile);
  return true;
}

void TraceFromEnvironment() noexcept {
  char value[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("TUNEBAY_TRACE", value, sizeof value);
  if (length == 0 || length >= sizeof value) return;
  SetTraceDestination(value);
}

void SetTraceSink(TraceSink sink) noexcept { g_sink = sink; }

}  // namespace tb
