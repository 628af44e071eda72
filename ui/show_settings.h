// The manager's settings dialog face, supplied from this layer.
#ifndef TB_UI_SHOW_SETTINGS_H
#define TB_UI_SHOW_SETTINGS_H

#include <cstdint>

namespace tb {
namespace ui {

/// Runs "Audio Format Settings" with the two artist/title values; on Close (IDOK)
/// stores the dialog's values into them and returns true, otherwise leaves them.
bool ShowAudioFormatSettings(int32_t& artistTitleSource, int32_t& fileNameFormat) noexcept;

/// Makes the manager's ShowSettingsDialog run ShowAudioFormatSettings.
void InstallSettingsDialog() noexcept;

}  // namespace ui
}  // namespace tb

#endif  // TB_UI_SHOW_SETTINGS_H
