// The library's only export, and the assembly of its layers.
#include <tunebay/manager.h>

#include "core/manager.h"
#include "nls/language_list.h"
#include "ui/show_settings.h"

namespace {
// The settings dialog comes from the user-interface layer; it is installed when the
// library is loaded, before any host can reach the manager.
const bool g_settingsDialogInstalled = (tb::ui::InstallSettingsDialog(), true);
}  // namespace

extern "C" __declspec(dllexport) bool __cdecl GetTunebay(tb::IManager** manager) {
  // The interfaces that the layers above core add to the manager.
  tb::SetManagerFacesFactory(&tb::MakeLanguageFaces);
  return tb::Manager::GetInstance(manager);
}
