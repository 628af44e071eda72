// Where the manager finds its settings dialog. The dialog belongs to the user-interface
// layer, which lies above the manager; the library's assembly (and a test program that
// links the layers in) installs it here before any host can ask for it.
#ifndef TB_CORE_SETTINGS_DIALOG_HOOK_H
#define TB_CORE_SETTINGS_DIALOG_HOOK_H

#include <cstdint>

namespace tb {

/// Shows the settings dialog with the manager's two artist/title values; true when the
/// user confirmed it, and then the values hold the user's choice.
using SettingsDialogHook = bool (*)(int32_t& artistTitleSource, int32_t& fileNameFormat) noexcept;

void SetSettingsDialogHook(SettingsDialogHook hook) noexcept;
/// The installed dialog, or null when none is.
SettingsDialogHook GetSettingsDialogHook() noexcept;

}  // namespace tb

#endif  // TB_CORE_SETTINGS_DIALOG_HOOK_H
