// faulty.dll: misbehaving plug-in code for the fault guard and the entry-point calls.
// Everything is exported under plain names through faulty.def.
#include <windows.h>

#include <stdint.h>

#include <stdexcept>
#include <string>

namespace {

// An address that is never mapped. Read from a volatile so that the compiler cannot
// see the fault coming and replace it with a trap instruction.
volatile uintptr_t g_bad_address = 0x10;

void WriteToBadAddress() { *reinterpret_cast<volatile int*>(g_bad_address) = 1; }

// An exception registration record of the DLL's own, as MSVC-built code would place
// on the fs:[0] chain.
struct OwnFrame {
  void* next;
  void* handler;
  int* counts;  // [0] search passes seen, [1] unwind calls seen
};

void* ChainHead() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head) : : "memory");
  return head;
}

void SetChainHead(void* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

const DWORD kOwnCode = 0xE0000042;

EXCEPTION_DISPOSITION __cdecl CountingHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                              void*) {
  int* counts = static_cast<OwnFrame*>(frame)->counts;
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    ++counts[1];
    return ExceptionContinueSearch;
  }
  ++counts[0];
  if (record->ExceptionCode == kOwnCode && !(record->ExceptionFlags & EXCEPTION_NONCONTINUABLE))
    return ExceptionContinueExecution;
  return ExceptionContinueSearch;
}

// Shaped like what MSVC passes with 0xE06D7363: magic number, object, throw info.
struct FakeThrowInfo {
  uint32_t attributes;
  void* unwind;
  void* forward_compat;
  void* catchable_types;
} const g_throw_info = {0, nullptr, nullptr, nullptr};
int g_thrown_object = 7;

}  // namespace

extern "C" {

void __cdecl FaultAccessViolation(void*) { WriteToBadAddress(); }

void __cdecl FaultRaise(DWORD code, DWORD flags) {
  ULONG_PTR info[2] = {1, 2};
  RaiseException(code, flags, 2, info);
}

void __cdecl FaultMsvcThrow(void*) {
  ULONG_PTR params[3] = {0x19930520, reinterpret_cast<ULONG_PTR>(&g_thrown_object),
                         reinterpret_cast<ULONG_PTR>(&g_throw_info)};
  RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 3, params);
}

// Registers a frame of its own and faults without unlinking it: whoever catches the
// fault further down the chain must unwind it, which counts[1] shows.
void __cdecl FaultUnderOwnFrame(int* counts) {
  OwnFrame frame{ChainHead(), reinterpret_cast<void*>(&CountingHandler), counts};
  SetChainHead(&frame);
  WriteToBadAddress();
  SetChainHead(frame.next);
}

// Handles exceptions of its own: raises kOwnCode `times` times, continuing after each
// through its own handler, and returns how many its handler saw.
int __cdecl HandleOwnException(int times) {
  int counts[2] = {0, 0};
  OwnFrame frame{ChainHead(), reinterpret_cast<void*>(&CountingHandler), counts};
  SetChainHead(&frame);
  for (int i = 0; i < times; ++i) RaiseException(kOwnCode, 0, 0, nullptr);
  SetChainHead(frame.next);
  return counts[0];
}

// Throws a C++ exception of this compiler and catches it again: each call needs the
// runtime's per-thread exception record.
int __cdecl CatchOwnThrow(int value) {
  try {
    throw std::runtime_error("thrown inside faulty.dll " + std::to_string(value));
  } catch (const std::exception& e) {
    return e.what()[0] == 't' ? value : -1;
  }
}

// Lets a C++ exception of this compiler escape, as a careless plug-in does.
void __cdecl FaultCxxThrow(void*) { throw std::runtime_error("escaped from faulty.dll"); }

// Entry-point shaped functions declared __stdcall, as some plug-ins do.
bool __stdcall StdcallZero() { return true; }

bool __stdcall StdcallOne(void** out) {
  *out = out;
  return true;
}

uint32_t __stdcall StdcallTwo(uint32_t a, uint32_t b) { return a * 10 + b; }

bool __stdcall StdcallOneFaults(void** out) {
  *out = out;
  WriteToBadAddress();
  return true;
}

bool __cdecl CdeclOne(void** out) {
  *out = out;
  return true;
}

}  // extern "C"

// Functions whose behaviour C++ cannot express: bool results with junk above AL, and
// callees that break the rule that EBX, ESI, EDI (and EBP) survive a call.
asm(R"(
    .text
    .globl _ReturnHighBitsFalse
_ReturnHighBitsFalse:
    movl $0x12345600, %eax
    ret
    .globl _ReturnHighBitsTrue
_ReturnHighBitsTrue:
    movl $0xFFFFFF01, %eax
    ret
    .globl _ClobberAndReturnTrue
_ClobberAndReturnTrue:
    movl $0xBAD0000B, %ebx
    movl $0xBAD0000C, %esi
    movl $0xBAD0000D, %edi
    movl $1, %eax
    ret
    .globl _ClobberAndFault
_ClobberAndFault:
    movl $0xBAD0000B, %ebx
    movl $0xBAD0000C, %esi
    movl $0xBAD0000D, %edi
    movl $0xBAD0000E, %ebp
    movl $0x10, %eax
    movl %eax, (%eax)
    ret
)");
