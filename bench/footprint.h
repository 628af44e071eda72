// What a process holds that a leaking load/unload cycle would grow: open handles, loaded
// modules, free thread-local slots, heap bytes in use and committed private memory.
// Shared by the soak bench and the soak test.
#ifndef TB_BENCH_FOOTPRINT_H
#define TB_BENCH_FOOTPRINT_H

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace tbsoak {

struct Footprint {
  int handles = 0;
  int modules = 0;
  int freeTlsSlots = 0;
  std::size_t heapBytes = 0;
  std::size_t privateBytes = 0;
};

// Counted by asking each possible handle value: the process handle count is not kept by
// every platform the tests run on.
inline int CountHandles() {
  int count = 0;
  for (UINT_PTR value = 4; value < 0x40000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

inline int CountModules() {
  int count = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  MODULEENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) {
    ++count;
  }
  CloseHandle(snapshot);
  return count;
}

inline int CountFreeTlsSlots() {
  std::vector<DWORD> taken;
  for (DWORD slot = TlsAlloc(); slot != TLS_OUT_OF_INDEXES; slot = TlsAlloc()) {
    taken.push_back(slot);
  }
  for (DWORD slot : taken) TlsFree(slot);
  return static_cast<int>(taken.size());
}

inline std::size_t HeapBytesInUse() {
  std::size_t bytes = 0;
  HANDLE heaps[256];
  const DWORD count = GetProcessHeaps(256, heaps);
  for (DWORD i = 0; i < count && i < 256; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return bytes;
}

inline Footprint Measure() {
  Footprint f;
  // The slot count first: the others must not leave a slot of their own behind.
  f.freeTlsSlots = CountFreeTlsSlots();
  f.handles = CountHandles();
  f.modules = CountModules();
  f.heapBytes = HeapBytesInUse();
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
    f.privateBytes = counters.PagefileUsage;
  }
  return f;
}

inline std::string Describe(const Footprint& f) {
  char text[200];
  std::snprintf(text, sizeof text,
                "handles %d, modules %d, free TLS slots %d, heap %zu bytes, private %zu KiB",
                f.handles, f.modules, f.freeTlsSlots, f.heapBytes, f.privateBytes / 1024);
  return text;
}

}  // namespace tbsoak

#endif  // TB_BENCH_FOOTPRINT_H
