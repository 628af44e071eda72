// Functions of a system DLL bound at their first call instead of when the module that
// calls them loads: for DLLs that are costly to start and that most runs never need
// (the window system, which only the dialogs use; WinINet, which only downloads use).
//
// The compiler calls an imported function through its import slot, __imp__Name@N. A
// TB_LAZY_IMPORT line defines that slot itself, holding a stub that loads the DLL (once,
// pinned: it is never unloaded again), stores the real function in the slot and calls
// it; later calls go straight to the DLL. The calling code is unchanged, and the DLL
// leaves the module's import table. One translation unit per module holds the lines.
//
// A DLL or function that cannot be found raises a structured exception with code
// kLazyImportFailed at the first call; for a system DLL that ships with every Windows
// version in question this does not happen.
#ifndef TB_BASE_LAZY_IMPORT_H
#define TB_BASE_LAZY_IMPORT_H

#include <windows.h>

namespace tb {
namespace lazy {

/// The exception code of a DLL or function that could not be bound (the code the
/// platform's own delayed loading raises for a missing module).
constexpr DWORD kLazyImportFailed = 0xC06D007E;

/// `name` in `dll`, which is loaded and pinned at the first call; raises
/// kLazyImportFailed when either is missing.
void* Bind(const wchar_t* dll, const char* name) noexcept;

template <typename F>
struct Stub;
template <typename R, typename... A>
struct Stub<R(__stdcall*)(A...)> {
  template <R(__stdcall** Slot)(A...), const wchar_t* Dll, const char* Name>
  static R __stdcall Call(A... args) {
    *Slot = reinterpret_cast<R(__stdcall*)(A...)>(Bind(Dll, Name));
    return (*Slot)(args...);
  }
};

}  // namespace lazy
}  // namespace tb

/// Binds `name` (declared by the platform headers as a stdcall import) from the DLL
/// named by the wide string constant `dll` at its first call. `decorated` is the name
/// with its argument size as the linker knows it ("SendMessageA@16").
#define TB_LAZY_IMPORT(dll, name, decorated)                                 \
  extern "C" decltype(&::name) tb_lazy_slot_##name asm("__imp__" decorated); \
  namespace {                                                                \
  constexpr char tb_lazy_name_##name[] = #name;                              \
  }                                                                          \
  decltype(&::name) tb_lazy_slot_##name =                                    \
      &tb::lazy::Stub<decltype(&::name)>::Call<&tb_lazy_slot_##name, dll, tb_lazy_name_##name>;

#endif  // TB_BASE_LAZY_IMPORT_H
