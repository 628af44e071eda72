#include "base/forward_thunk.h"

// Each thunk: take the face from [esp+4], its target from [face+4]; with a target,
// put it in place of `this` and jump to the target's slot. The caller's return address
// stays on top of the stack, so the target returns straight to the caller. ECX is free
// to use: __stdcall callers do not expect it preserved.
asm(R"(
    .text
    .macro TB_FORWARD_SLOT slot
    .p2align 4
    .globl _tb_forward_slot_\slot
    .def _tb_forward_slot_\slot; .scl 2; .type 32; .endef
_tb_forward_slot_\slot:
    movl 4(%esp), %eax
    movl 4(%eax), %eax
    testl %eax, %eax
    jz L_tb_forward_no_target
    movl %eax, 4(%esp)
    movl (%eax), %ecx
    jmp *(\slot * 4)(%ecx)
    .endm

    TB_FORWARD_SLOT 3
    TB_FORWARD_SLOT 4
    TB_FORWARD_SLOT 5
    TB_FORWARD_SLOT 6
    TB_FORWARD_SLOT 7

    .p2align 4
L_tb_forward_no_target:
    xorl %eax, %eax
    xorl %edx, %edx
    ret $4
)");
