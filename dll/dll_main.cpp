// The library's only export.
#include <tunebay/manager.h>

#include "dll/assembly.h"

extern "C" __declspec(dllexport) bool __cdecl GetTunebay(tb::IManager** manager) {
  return tb::GetAssembledManager(manager);
}
