// "Get Artist/Title Information": where the artist and title of a source come from,
// and how a file name that carries them is laid out.
#ifndef TB_UI_ARTIST_TITLE_DIALOG_H
#define TB_UI_ARTIST_TITLE_DIALOG_H

#include <cstdint>
#include <memory>

#include "nls/nls_translator.h"
#include "ui/dialog.h"

namespace tb {
namespace ui {

/// Edits two values held by its opener, which sets them before RunModal and reads
/// them back when it returns IDOK. -1 stands for no choice.
class ArtistTitleSourceDialog : public Dialog {
 public:
  ArtistTitleSourceDialog() noexcept;

  /// The checked radio button: 0 information block, else file name; 1 information
  /// block only; 2 file name only (ArtistTitleSource).
  int32_t source = -1;
  /// The selected file-name layout: 0 artist first, 1 title first, 2 title only
  /// (ArtistTitle_FileNameFormat).
  int32_t fileNameFormat = -1;

 protected:
  bool OnInitDialog() override;
  void OnDestroy() override;
  void Exchange(DataExchange& exchange) override;

 private:
  std::unique_ptr<NlsTranslator> translator_;
};

/// The three file-name layouts, as the combo box lists them.
extern const char* const kFileNameFormats[3];

}  // namespace ui
}  // namespace tb

#endif  // TB_UI_ARTIST_TITLE_DIALOG_H
