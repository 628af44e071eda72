#include "base/entry_call.h"

#include "base/fault_guard.h"

// uint64_t tb_call_restoring_stack(fn, args, argc, popped) (cdecl)
// Frame, from EBP: -4 EBX, -8 ESI, -12 EDI (restored whatever the callee did with
// them), -16 ESP at the call, for measuring what the callee popped. The arguments are
// placed so that ESP is 16-byte aligned at the call, which costs nothing and keeps
// callees built with SSE assumptions happy.
extern "C" uint64_t tb_call_restoring_stack(const void* fn, const uint32_t* args, int argc,
                                            int32_t* popped_bytes);

asm(R"(
    .text
    .p2align 4
    .globl _tb_call_restoring_stack
    .def _tb_call_restoring_stack; .scl 2; .type 32; .endef
_tb_call_restoring_stack:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    subl $4, %esp
    movl 16(%ebp), %ecx
    movl 12(%ebp), %esi
    leal 0(,%ecx,4), %eax
    movl %esp, %edx
    subl %eax, %edx
    andl $-16, %edx
    addl %eax, %edx
    movl %edx, %esp
    testl %ecx, %ecx
    jz 2f
1:
    pushl -4(%esi,%ecx,4)
    decl %ecx
    jnz 1b
2:
    movl %esp, -16(%ebp)
    call *8(%ebp)
    movl 20(%ebp), %ecx
    testl %ecx, %ecx
    jz 3f
    movl %esp, %ebx
    subl -16(%ebp), %ebx
    movl %ebx, (%ecx)
3:
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

namespace tb {

uint64_t CallRestoringStack(const void* fn, const uint32_t* args, int argc,
                            int32_t* popped_bytes) noexcept {
  if (popped_bytes) *popped_bytes = 0;
  if (!fn || argc < 0 || argc > kMaxEntryArguments || (argc > 0 && !args)) return 0;
  return tb_call_restoring_stack(fn, args, argc, popped_bytes);
}

namespace {

struct BoolCall {
  const void* fn;
  uint32_t args[1];
  int argc;
  uint32_t eax;
};

void RunBoolCall(void* context) {
  auto* call = static_cast<BoolCall*>(context);
  call->eax =
      static_cast<uint32_t>(tb_call_restoring_stack(call->fn, call->args, call->argc, nullptr));
}

bool GuardedBoolCall(BoolCall& call, bool* result, unsigned long* code) {
  if (code) *code = 0;
  if (!call.fn || !GuardedCall(RunBoolCall, &call, code)) return false;
  if (result) *result = (call.eax & 0xFF) != 0;
  return true;
}

}  // namespace

bool GuardedBoolCall0(const void* fn, bool* result, unsigned long* faultCode) noexcept {
  BoolCall call{fn, {0}, 0, 0};
  return GuardedBoolCall(call, result, faultCode);
}

bool GuardedBoolCall1(const void* fn, const void* argument, bool* result,
                      unsigned long* faultCode) noexcept {
  BoolCall call{fn, {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(argument))}, 1, 0};
  return GuardedBoolCall(call, result, faultCode);
}

}  // namespace tb
