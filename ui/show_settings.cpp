#include "ui/show_settings.h"

#include "core/settings_dialog_hook.h"
#include "ui/settings_dialog.h"

namespace tb {
namespace ui {

bool ShowAudioFormatSettings(int32_t& artistTitleSource, int32_t& fileNameFormat) noexcept {
  try {
    AudioFormatSettingsDialog dialog;
    dialog.artistTitleSource = artistTitleSource;
    dialog.fileNameFormat = fileNameFormat;
    if (dialog.RunModal() != IDOK) return false;
    artistTitleSource = dialog.artistTitleSource;
    fileNameFormat = dialog.fileNameFormat;
    return true;
  } catch (...) {
    return false;
  }
}

void InstallSettingsDialog() noexcept { SetSettingsDialogHook(&ShowAudioFormatSettings); }

}  // namespace ui
}  // namespace tb
