// Calls into plug-in entry points whose calling convention is not known for sure.
//
// The entry points are declared __cdecl, but plug-ins that declared them __stdcall
// (exported under plain names through a .def file) exist and must work. The two differ
// only in who pops the arguments, so the call is made from a frame that puts the stack
// pointer back from its frame pointer afterwards, whatever the callee popped.
#ifndef TB_BASE_ENTRY_CALL_H
#define TB_BASE_ENTRY_CALL_H

#include <stdint.h>

namespace tb {

/// Most arguments CallRestoringStack passes.
const int kMaxEntryArguments = 16;

/// Calls fn with the 32-bit words args[0..argc-1] (args[0] nearest the return address,
/// as C pushes them) and returns EDX:EAX as the callee left them; a callee that returns
/// 32 bits or less leaves EDX undefined, so take the low half. The stack pointer is
/// the same afterwards whether the callee popped its arguments or not. When
/// popped_bytes is given it receives how many bytes of arguments the callee popped
/// (0 for __cdecl, 4 * argc for __stdcall). argc outside 0..kMaxEntryArguments makes
/// no call and returns 0. Not guarded: a fault propagates to the caller's handlers.
uint64_t CallRestoringStack(const void* fn, const uint32_t* args, int argc,
                            int32_t* popped_bytes = nullptr) noexcept;

/// Guarded bool-returning calls without arguments and with one pointer argument, for
/// ORVA_PLUGIN_ReadyToFinish and ORVA_PLUGIN_GetPrimaryAudioObject. Return false when a
/// fault was raised inside the call (or fn is null), leaving *result untouched;
/// otherwise true with *result set from AL alone, since a bool return defines only the
/// low 8 bits of EAX. `faultCode`, when given, receives the fault's exception code (0
/// when none was raised).
bool GuardedBoolCall0(const void* fn, bool* result, unsigned long* faultCode = nullptr) noexcept;
bool GuardedBoolCall1(const void* fn, const void* argument, bool* result,
                      unsigned long* faultCode = nullptr) noexcept;

}  // namespace tb

#endif  // TB_BASE_ENTRY_CALL_H
