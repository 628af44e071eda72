// The fault guard: runs a call into untrusted code and turns any structured exception
// raised inside it (an access violation, a RaiseException of any code, a C++ exception
// thrown by a plug-in built with another compiler) into a false result. A C++ exception
// that a mingw-built plug-in lets escape ends in its runtime's abort(), which the guard
// also turns into a false result (the runtime may have written "terminate called ..."
// to the standard error first).
//
// i686 mingw has no __try, so the guard registers an exception registration record of
// its own on the thread's fs:[0] chain. Its handler, on the first (search) pass of a
// dispatch, unwinds every frame registered after it (so a plug-in's own unwind
// handlers run), unlinks itself and resumes in the guard's caller with the stack
// pointer and the callee-saved registers of the moment the guard was entered. Handlers
// registered later than the guard are asked first, so code that handles its own
// exceptions inside the call is unaffected, and nested guards work: the innermost one
// catches.
//
// What the guard does not do:
// - It does not run C++ destructors of mingw-built frames that lie between the guard
//   and the fault: those frames are unwound by the DWARF unwinder, which a structured
//   exception never reaches. Keep the guarded code a thin call into the plug-in, with
//   no objects that need destroying in the frames in between.
// - A C++ object thrown by a plug-in built with MSVC is abandoned, not destroyed: its
//   destructor lives in the plug-in that just failed, and running more of its code
//   after a fault is not worth a few leaked bytes.
// - A stack overflow is caught once, but the thread's guard page is not re-armed, so a
//   second overflow on the same thread ends the process. Overflow is not survivable in
//   general and is not promised.
#ifndef TB_BASE_FAULT_GUARD_H
#define TB_BASE_FAULT_GUARD_H

#include <type_traits>

namespace tb {

/// The guarded routine: a plain function that receives the caller's context.
using GuardedFunction = void (*)(void* context);

/// The code a guard reports for a C++ exception that a mingw-built plug-in let escape
/// (its runtime's abort, turned into a structured exception inside a guard).
constexpr unsigned long kAbortInsideGuard = 0xE0414254;

/// Runs fn(context). Returns true when it returned normally, false when a structured
/// exception was raised inside it; the guard is then unregistered, fs:[0] is exactly
/// what it was on entry and the thread can go on (and guard again). Works on any thread.
/// When `code` is given it receives the exception's code, 0 when there was none.
bool GuardedCall(GuardedFunction fn, void* context, unsigned long* code = nullptr) noexcept;

/// Runs f(). False when a structured exception was raised inside it or a C++ exception
/// escaped from it; true otherwise. `code` as GuardedCall gives it (0 for a C++
/// exception of our own compiler, which is caught without one).
template <class F>
bool Guarded(F&& f, unsigned long* code = nullptr) noexcept {
  struct Call {
    std::remove_reference_t<F>* f;
    bool threw;
  } call{&f, false};
  auto run = [](void* context) {
    auto* c = static_cast<Call*>(context);
    try {
      (*c->f)();
    } catch (...) {
      c->threw = true;
    }
  };
  return GuardedCall(run, &call, code) && !call.threw;
}

}  // namespace tb

#endif  // TB_BASE_FAULT_GUARD_H
