#include "core/settings_dialog_hook.h"

namespace tb {

namespace {
SettingsDialogHook g_settingsDialog = nullptr;
}  // namespace

void SetSettingsDialogHook(SettingsDialogHook hook) noexcept { g_settingsDialog = hook; }

SettingsDialogHook GetSettingsDialogHook() noexcept { return g_settingsDialog; }

}  // namespace tb
