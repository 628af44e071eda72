// The library's only export.
#include <tunebay/manager.h>

#include "core/manager.h"
#include "nls/language_list.h"

extern "C" __declspec(dllexport) bool __cdecl GetTunebay(tb::IManager** manager) {
  // The interfaces that the layers above core add to the manager.
  tb::SetManagerFacesFactory(&tb::MakeLanguageFaces);
  return tb::Manager::GetInstance(manager);
}
