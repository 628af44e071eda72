// The C++ runtime's exception support, kept inside this module.
//
// Each library that hosts load and free again (tunebay.dll, every plug-in) links the C and
// C++ runtimes statically, and three pieces of that runtime's exception support take
// process-wide resources that nothing gives back when the library is freed: the per-thread
// exception record lives in thread-local storage whose slot is never released, the
// emergency allocation pool is never freed and its lock is a semaphore that is never
// closed. A host that loads and frees the libraries again and again would run out of slots
// after about a thousand loads. The definitions below replace those pieces (the linker
// takes them before the runtime's own) with ones that give everything back when the
// module is unloaded.
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>

// The sizes of the runtime's exception headers in front of each thrown object, taken from
// the runtime this project links (i686, GCC 12). A different compiler must check them.
static_assert(__GNUC__ == 12 && sizeof(void*) == 4, "check the exception header sizes");

namespace {

constexpr std::size_t kExceptionHeader = 0x60;
constexpr std::size_t kDependentException = 0x50;

// What the runtime keeps per thread: the caught-exception stack and the uncaught count.
struct EhGlobals {
  void* caughtExceptions;
  unsigned int uncaughtExceptions;
};

DWORD ehSlot = TLS_OUT_OF_INDEXES;
LONG liveRecords = 0;

EhGlobals* ThreadRecord(bool create) noexcept {
  DWORD slot = ehSlot;
  if (slot == TLS_OUT_OF_INDEXES) {
    if (!create) return nullptr;
    const DWORD fresh = TlsAlloc();
    if (fresh == TLS_OUT_OF_INDEXES) std::abort();
    const LONG old =
        InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&ehSlot),
                                   static_cast<LONG>(fresh), static_cast<LONG>(TLS_OUT_OF_INDEXES));
    if (old != static_cast<LONG>(TLS_OUT_OF_INDEXES)) TlsFree(fresh);
    slot = ehSlot;
  }
  auto* record = static_cast<EhGlobals*>(TlsGetValue(slot));
  if (!record && create) {
    record =
        static_cast<EhGlobals*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(EhGlobals)));
    if (!record) std::abort();
    TlsSetValue(slot, record);
    InterlockedIncrement(&liveRecords);
  }
  return record;
}

void DropThreadRecord() noexcept {
  if (ehSlot == TLS_OUT_OF_INDEXES) return;
  if (void* record = TlsGetValue(ehSlot)) {
    TlsSetValue(ehSlot, nullptr);
    HeapFree(GetProcessHeap(), 0, record);
    InterlockedDecrement(&liveRecords);
  }
}

// A few blocks for throwing while the heap is exhausted (std::bad_alloc itself).
constexpr int kEmergencyBlocks = 8;
constexpr std::size_t kEmergencyBlockSize = 1024;
alignas(16) unsigned char emergencyArea[kEmergencyBlocks][kEmergencyBlockSize];
LONG emergencyUsed[kEmergencyBlocks];

void* Allocate(std::size_t size) noexcept {
  if (void* p = std::malloc(size)) return p;
  if (size <= kEmergencyBlockSize) {
    for (int i = 0; i < kEmergencyBlocks; ++i) {
      if (InterlockedExchange(&emergencyUsed[i], 1) == 0) return emergencyArea[i];
    }
  }
  std::terminate();
}

void Free(void* p) noexcept {
  auto* bytes = static_cast<unsigned char*>(p);
  if (bytes >= emergencyArea[0] && bytes < emergencyArea[0] + sizeof emergencyArea) {
    const auto i = static_cast<std::size_t>(bytes - emergencyArea[0]) / kEmergencyBlockSize;
    InterlockedExchange(&emergencyUsed[i], 0);
    return;
  }
  std::free(p);
}

// The runtime's locks are semaphores made on first use and never closed (a lock of
// static duration has no end in the runtime's eyes). Every CreateSemaphoreW of this
// module comes here, and the semaphores are closed when the module is unloaded. That
// is right only because nothing else in the module makes semaphores: the project's
// code uses critical sections (base/lock.h), and a plug-in built on this file must too.
constexpr int kMaxRuntimeSemaphores = 32;
HANDLE runtimeSemaphores[kMaxRuntimeSemaphores];
LONG runtimeSemaphoreCount = 0;

HANDLE WINAPI RuntimeCreateSemaphoreW(SECURITY_ATTRIBUTES* attributes, LONG initial, LONG maximum,
                                      const wchar_t* name) {
  HANDLE semaphore =
      CreateSemaphoreExW(attributes, initial, maximum, name, 0, SEMAPHORE_ALL_ACCESS);
  if (semaphore) {
    const LONG at = InterlockedIncrement(&runtimeSemaphoreCount) - 1;
    if (at < kMaxRuntimeSemaphores) runtimeSemaphores[at] = semaphore;
  }
  return semaphore;
}

void CloseRuntimeSemaphores() noexcept {
  const LONG count = InterlockedExchange(&runtimeSemaphoreCount, 0);
  for (LONG i = 0; i < count && i < kMaxRuntimeSemaphores; ++i) CloseHandle(runtimeSemaphores[i]);
}

void NTAPI OnModuleThread(PVOID, DWORD reason, PVOID reserved) {
  if (reason != DLL_THREAD_DETACH && reason != DLL_PROCESS_DETACH) return;
  DropThreadRecord();
  if (reason == DLL_PROCESS_DETACH && ehSlot != TLS_OUT_OF_INDEXES) {
    TlsFree(ehSlot);
    ehSlot = TLS_OUT_OF_INDEXES;
  }
  // Freed while the process goes on (not at its end): nobody contends for the locks
  // any more, and an uncontended lock never touches its semaphore.
  if (reason == DLL_PROCESS_DETACH && !reserved) CloseRuntimeSemaphores();
}

}  // namespace

extern "C" {

EhGlobals* __cxa_get_globals_fast() noexcept { return ThreadRecord(false); }
EhGlobals* __cxa_get_globals() noexcept { return ThreadRecord(true); }

void* __cxa_allocate_exception(std::size_t thrownSize) noexcept {
  auto* block = static_cast<unsigned char*>(Allocate(thrownSize + kExceptionHeader));
  std::memset(block, 0, kExceptionHeader);
  return block + kExceptionHeader;
}

void __cxa_free_exception(void* thrown) noexcept {
  Free(static_cast<unsigned char*>(thrown) - kExceptionHeader);
}

void* __cxa_allocate_dependent_exception() noexcept {
  void* block = Allocate(kDependentException);
  std::memset(block, 0, kDependentException);
  return block;
}

void __cxa_free_dependent_exception(void* block) noexcept { Free(block); }

// The import slot through which the runtime calls CreateSemaphoreW, taken by this
// module's own definition.
extern void* const tbRuntimeCreateSemaphore asm("__imp__CreateSemaphoreW@16");
__attribute__((used)) void* const tbRuntimeCreateSemaphore =
    reinterpret_cast<void*>(&RuntimeCreateSemaphoreW);

// Runs on every thread's end and on unload, for executables and libraries alike.
extern const PIMAGE_TLS_CALLBACK tbModuleRuntimeCallback;
__attribute__((section(".CRT$XLY"), used)) const PIMAGE_TLS_CALLBACK tbModuleRuntimeCallback =
    OnModuleThread;

}  // extern "C"
