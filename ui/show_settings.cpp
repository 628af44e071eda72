#include "ui/show_settings.h"

#include <tunebay/manager.h>

#include <memory>
#include <new>

#include "base/com.h"
#include "core/manager.h"
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

}  // namespace ui

namespace {

// The manager hands the dialog its two artist/title values and takes them back only
// when the user closes it with Close. They reach the registry when the manager finishes.
class SettingsDialogPart final : public ManagerPart, public outer_counted<ISettingsDialog> {
 public:
  explicit SettingsDialogPart(Manager& manager) noexcept
      : outer_counted(manager.primary()), manager_(manager) {}

  bool TB_STDCALL ShowSettingsDialog() noexcept override {
    int32_t source = manager_.artistTitleSource();
    int32_t format = manager_.artistTitleFileNameFormat();
    if (!ui::ShowAudioFormatSettings(source, format)) return false;
    manager_.setArtistTitleSource(source);
    manager_.setArtistTitleFileNameFormat(format);
    return true;
  }

 private:
  Manager& manager_;
};

}  // namespace

bool AddUiParts(Manager& manager) noexcept {
  SettingsDialogPart* part = new (std::nothrow) SettingsDialogPart(manager);
  if (!part || !manager.AddPart(std::unique_ptr<ManagerPart>(part))) return false;
  return manager.SetFace(iid_of<ISettingsDialog>(), static_cast<ISettingsDialog*>(part));
}

}  // namespace tb
