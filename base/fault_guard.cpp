#include "base/fault_guard.h"

#include <windows.h>

#include <csignal>

// The guard is written in assembly as a whole: a C++ body could not say which
// registers hold live values when the handler resumes it, and setjmp-style resumption
// under optimisation is exactly where compilers and hand-written contexts disagree.
// From the compiler's side tb_guarded_call is an ordinary external function that
// returns once, with every callee-saved register intact, on both paths.
//
// Frame of tb_guarded_call, from its EBP:
//   -4 EBX, -8 ESI, -12 EDI     the caller's registers, reloaded on both paths
//   -16 x87 control word        reloaded after a fault (see below)
//   -20 EBP                     the guard's own EBP, for the handler to resume with
//   -24 handler                 } the exception registration record that goes on the
//   -28 next record             } fs:[0] chain; the handler receives its address
//
// After a fault the x87 unit is in whatever state the failed code left it (registers
// pushed, exception flags raised); the guard clears it and restores the caller's
// control word, since compiled code assumes an empty x87 stack across a call.
extern "C" int tb_guarded_call(tb::GuardedFunction fn, void* context, unsigned long* code);
extern "C" void tb_guard_handler();

asm(R"(
    .text
    .p2align 4
    .globl _tb_guarded_call
    .def _tb_guarded_call; .scl 2; .type 32; .endef
_tb_guarded_call:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    subl $4, %esp
    fnstcw (%esp)
    pushl %ebp
    pushl $_tb_guard_handler
    pushl %fs:0
    movl %esp, %fs:0
    andl $-16, %esp
    subl $12, %esp
    pushl 12(%ebp)
    call *8(%ebp)
    # Whatever the callee left behind (a record it forgot to unlink, a stack it did
    # not balance), the chain and the stack go back to exactly what they were.
    leal -28(%ebp), %esp
    movl (%esp), %eax
    movl %eax, %fs:0
    movl $1, %eax
    jmp 1f
L_tb_guard_resume:
    # From the handler: ESP is the record, EBP the guard's frame, the record unlinked.
    fninit
    fldcw -16(%ebp)
    cld
    xorl %eax, %eax
1:
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    # EXCEPTION_DISPOSITION handler(EXCEPTION_RECORD*, void* frame, CONTEXT*, void*)
    .p2align 4
    .globl _tb_guard_handler
    .def _tb_guard_handler; .scl 2; .type 32; .endef
_tb_guard_handler:
    movl 4(%esp), %eax
    movl 8(%esp), %ecx
    # EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND: someone else is unwinding past us;
    # nothing to do but let it.
    testl $6, 4(%eax)
    jnz 2f
    # The exception code goes to the guard's third argument, when it gave one.
    movl 8(%ecx), %edx
    movl 16(%edx), %edx
    testl %edx, %edx
    jz 4f
    pushl (%eax)
    popl (%edx)
4:
    # Unwind every frame registered after ours, so their unwind handlers run; on
    # return our record is the head of the chain. RtlUnwind is not trusted to keep
    # EBX, ESI and EDI, so nothing is kept in registers across it.
    pushl $0
    pushl %eax
    pushl $3f
    pushl %ecx
    call *__imp__RtlUnwind@16
3:
    movl 8(%esp), %eax
    movl (%eax), %ecx
    movl %ecx, %fs:0
    movl 8(%eax), %ebp
    movl %eax, %esp
    jmp L_tb_guard_resume
2:
    movl $1, %eax
    ret
)");

namespace tb {
namespace {

// A C++ exception that a mingw-built plug-in lets escape never becomes a structured
// exception: the plug-in's own unwinder finds no handler among the frames it knows,
// and its runtime calls std::terminate, then abort(). abort() goes through the C
// runtime DLL that every mingw-built module shares, which calls the SIGABRT handler
// first. Inside a guarded call that handler turns the abort into a structured
// exception, which the guard catches like any fault; elsewhere it leaves the abort to
// whatever handled it before.

using AbortHandler = void(__cdecl*)(int);
AbortHandler previousAbortHandler = SIG_DFL;
volatile LONG abortHookInstalled = 0;

struct Registration {
  Registration* next;
  void* handler;
};

// Whether a guard's record is on this thread's exception chain.
bool InsideGuard() noexcept {
  Registration* record;
  asm volatile("movl %%fs:0, %0" : "=r"(record));
  for (; record && record != reinterpret_cast<Registration*>(-1); record = record->next) {
    if (record->handler == reinterpret_cast<void*>(&tb_guard_handler)) return true;
  }
  return false;
}

void __cdecl AbortToFault(int signal) {
  if (InsideGuard()) {
    // The runtime put the default back before calling us; the next abort needs us too.
    std::signal(SIGABRT, AbortToFault);
    RaiseException(kAbortInsideGuard, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  }
  const AbortHandler previous = previousAbortHandler;
  std::signal(SIGABRT, previous);
  if (previous != SIG_DFL && previous != SIG_IGN && previous != SIG_ERR) previous(signal);
}

void InstallAbortHook() noexcept {
  if (InterlockedCompareExchange(&abortHookInstalled, 1, 0) != 0) return;
  const AbortHandler previous = std::signal(SIGABRT, AbortToFault);
  previousAbortHandler = previous == SIG_ERR ? SIG_DFL : previous;
}

// The handler's code goes with this module: put back what was there when the module
// is unloaded, unless someone has replaced the handler since.
struct AbortHookRemoval {
  ~AbortHookRemoval() {
    if (!abortHookInstalled) return;
    const AbortHandler current = std::signal(SIGABRT, previousAbortHandler);
    if (current != AbortToFault && current != SIG_ERR) std::signal(SIGABRT, current);
  }
} abortHookRemoval;

}  // namespace

bool GuardedCall(GuardedFunction fn, void* context, unsigned long* code) noexcept {
  InstallAbortHook();
  if (code) *code = 0;
  return tb_guarded_call(fn, context, code) != 0;
}

}  // namespace tb
