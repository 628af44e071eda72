// The manager's settings dialog face, supplied from this layer.
#ifndef TB_UI_SHOW_SETTINGS_H
#define TB_UI_SHOW_SETTINGS_H

#include <cstdint>

namespace tb {

class Manager;

namespace ui {

/// Runs "Audio Format Settings" with the two artist/title values; on Close (IDOK)
/// stores the dialog's values into them and returns true, otherwise leaves them.
bool ShowAudioFormatSettings(int32_t& artistTitleSource, int32_t& fileNameFormat) noexcept;

}  // namespace ui

/// Adds the user-interface part to a new manager: its ISettingsDialog face replaces the
/// services layer's stand-in (Manager::Assembly).
bool AddUiParts(Manager& manager) noexcept;

}  // namespace tb

#endif  // TB_UI_SHOW_SETTINGS_H
