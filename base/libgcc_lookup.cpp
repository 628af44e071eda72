// The C runtime's start of every module built here asks the loader whether the shared
// libgcc DLL is loaded (GetModuleHandleA("libgcc_s_dw2-1.dll")), to register the
// module's unwind tables with it rather than with the static copy. The modules link
// libgcc statically, so that copy is the right one whatever the answer. Under Wine the
// question costs a search of the whole DLL path, about 2 ms a module and a dozen
// modules a run: this module's import slot for GetModuleHandleA answers it at once and
// passes every other name on.
#include <windows.h>

#include <cstring>

namespace {

HMODULE WINAPI ModuleHandle(LPCSTR name) {
  if (name && _stricmp(name, "libgcc_s_dw2-1.dll") == 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, name, &module);
  return module;
}

}  // namespace

extern "C" {
extern decltype(&GetModuleHandleA) tb_get_module_handle_slot asm("__imp__GetModuleHandleA@4");
decltype(&GetModuleHandleA) tb_get_module_handle_slot = &ModuleHandle;
}
