// Forwarding thunks: interface operations that pass a call through to the same slot
// of another object's interface, with the caller's arguments intact and its result
// unchanged, whatever the operation's signature turns out to be in a given plug-in.
//
// A C++ function cannot do that: it has to name the arguments it takes, and under
// __stdcall the callee pops them, so getting the count wrong unbalances the caller's
// stack. A thunk instead swaps the `this` argument for the target interface and jumps
// to the target's operation, which then pops what it pops, returns straight to the
// original caller and leaves EAX, EDX and the x87 stack as it set them.
//
// The convention the thunks rely on:
// - The interface pointer handed out is the address of a face whose first word is the
//   table pointer and whose second word ([this+4]) is the target: the interface
//   pointer, of the same interface, whose slot receives the forwarded call.
//   ForwardFace below is that layout.
// - tb_forward_slot_N jumps to slot N of the target's table (slots count
//   QueryInterface as 0). The thunk does not add a reference: the face's owner keeps
//   the target alive for as long as it hands the face out.
// - A null target makes the thunk return 0 in EAX and EDX, popping `this` alone: the
//   right answer for an operation without arguments, which is what every forwarded
//   operation is declared as. Owners should not hand out a face whose target is null
//   when callers may pass arguments.
//
// Building a table: declare a struct of function pointers in slot order; forwarded
// slots hold a ForwardThunk, the others ordinary __stdcall functions whose first
// parameter is the face. For example:
//
//   struct ControlFace;
//   struct ControlTable {
//     HRESULT(__stdcall* QueryInterface)(ControlFace*, REFIID, void**);
//     ULONG(__stdcall* AddRef)(ControlFace*);
//     ULONG(__stdcall* Release)(ControlFace*);
//     bool(__stdcall* Start)(ControlFace*, int32_t);
//     bool(__stdcall* Stop)(ControlFace*, int32_t);
//     tb::ForwardThunk GetState;
//   };
//   struct ControlFace : tb::ForwardFace<ControlTable, Proxy> {};
//   TB_CHECK_TABLE_SLOT(ControlTable, GetState, 5);
//   const ControlTable kControlTable = {&Qi, &AddRef, &Release, &Start, &Stop,
//                                       tb::kForwardSlot5};
//
// and hand out face.as<ISourceControl>() after setting face.forward_target.
#ifndef TB_BASE_FORWARD_THUNK_H
#define TB_BASE_FORWARD_THUNK_H

#include <stddef.h>

// The thunks. Their real signature is that of whatever they forward to; they are
// declared without one so that nothing calls them by mistake through a wrong type.
extern "C" void tb_forward_slot_3();
extern "C" void tb_forward_slot_4();
extern "C" void tb_forward_slot_5();
extern "C" void tb_forward_slot_6();
extern "C" void tb_forward_slot_7();

namespace tb {

/// An entry of a manual table that holds a forwarding thunk.
using ForwardThunk = void (*)();

constexpr ForwardThunk kForwardSlot3 = &tb_forward_slot_3;
constexpr ForwardThunk kForwardSlot4 = &tb_forward_slot_4;
constexpr ForwardThunk kForwardSlot5 = &tb_forward_slot_5;
constexpr ForwardThunk kForwardSlot6 = &tb_forward_slot_6;
constexpr ForwardThunk kForwardSlot7 = &tb_forward_slot_7;

/// The layout that the thunks read: the table, then the target. `owner` is for the
/// table's own functions, to reach the object that the face belongs to.
template <class Table, class Owner>
struct ForwardFace {
  const Table* vtable;
  void* forward_target;
  Owner* owner;

  /// The face as the interface pointer that callers receive.
  template <class I>
  I* as() noexcept {
    return reinterpret_cast<I*>(this);
  }
};

namespace detail {
struct SampleFaceTable;
struct SampleFace : ForwardFace<SampleFaceTable, SampleFace> {};
static_assert(offsetof(SampleFace, vtable) == 0, "the table pointer must come first");
static_assert(offsetof(SampleFace, forward_target) == sizeof(void*),
              "the thunks read the target at [this+4]");
}  // namespace detail

}  // namespace tb

/// Checks at compile time that a table member sits at the slot that callers use.
#define TB_CHECK_TABLE_SLOT(Table, member, slot)                   \
  static_assert(offsetof(Table, member) == (slot) * sizeof(void*), \
                #Table "::" #member " must be slot " #slot)

#endif  // TB_BASE_FORWARD_THUNK_H
