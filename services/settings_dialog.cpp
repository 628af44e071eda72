// The manager's settings dialog: the user-interface layer draws it (see
// core/settings_dialog_hook.h); the manager hands it the artist/title values and takes
// them back when the user closes it with Close. They reach the registry when the
// manager finishes.
#include "core/manager.h"
#include "core/settings_dialog_hook.h"

namespace tb {

bool TB_STDCALL Manager::ShowSettingsDialog() noexcept {
  const SettingsDialogHook show = GetSettingsDialogHook();
  if (!show) return false;
  int32_t source = artistTitleSource_;
  int32_t format = artistTitleFileNameFormat_;
  if (!show(source, format)) return false;
  artistTitleSource_ = source;
  artistTitleFileNameFormat_ = format;
  return true;
}

}  // namespace tb
