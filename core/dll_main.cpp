// The library's only export.
#include <tunebay/manager.h>

#include "core/manager.h"

extern "C" __declspec(dllexport) bool __cdecl GetTunebay(tb::IManager** manager) {
  return tb::Manager::GetInstance(manager);
}
