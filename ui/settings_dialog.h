// "Audio Format Settings": the plug-in components by kind on tabs, each with its name,
// vendor and library; Configure and About for the chosen one; the decoders in the
// user's order, which Move Up and Move Down change; and the artist/title source.
#ifndef TB_UI_SETTINGS_DIALOG_H
#define TB_UI_SETTINGS_DIALOG_H

#include <tunebay/manager.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "base/com.h"
#include "nls/nls_translator.h"
#include "ui/dialog.h"

namespace tb {
namespace ui {

/// Run by the manager's ShowSettingsDialog. The opener sets the two artist/title
/// values before RunModal and takes them back when it returns IDOK. The decoder order
/// goes to the manager at each tab change and on Close, never on Cancel.
class AudioFormatSettingsDialog : public Dialog {
 public:
  AudioFormatSettingsDialog() noexcept;
  ~AudioFormatSettingsDialog() override;

  /// ArtistTitleSource, handed in and out.
  int32_t artistTitleSource = -1;
  /// ArtistTitle_FileNameFormat, handed in and out.
  int32_t fileNameFormat = -1;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;
  void OnOK() override;
  void OnCancel() override;
  void OnDestroy() override;

 private:
  void ChangeTab();
  void StoreOrder();
  void ClearList();
  void FillRow(int row, IComponent* component, IComponentOrigin* origins);
  IComponent* CurrentComponent() const noexcept;
  void UpdateButtons();
  void Configure();
  void ShowAbout();
  void Move(int step);
  void EditArtistTitleSource();
  bool ShowsDecoders() const noexcept;

  com_ptr<IManager> manager_;
  com_ptr<IComponentCollection> catalogue_;
  com_ptr<ISourceOrder> order_;
  HIMAGELIST images_ = nullptr;     // owned by the list view
  std::vector<unsigned> tabKinds_;  // the kind index shown on each tab position
  int32_t currentTab_ = -1;
  std::unique_ptr<NlsTranslator> translator_;
  Control noPlugins_;
  Control moveDown_;
  Control moveUp_;
  TabControl tabs_;
  ListView list_;
  Control about_;
  Control configure_;
};

}  // namespace ui
}  // namespace tb

#endif  // TB_UI_SETTINGS_DIALOG_H
