#include "ui/artist_title_dialog.h"

#include "ui/resource.h"
#include "ui/translation.h"

namespace tb {
namespace ui {

const char* const kFileNameFormats[3] = {
    "<Artist><delimiter><Title>.<ext>",
    "<Title><delimiter><Artist>.<ext>",
    "<Title>.<ext>",
};

ArtistTitleSourceDialog::ArtistTitleSourceDialog() noexcept : Dialog(IDD_ARTIST_TITLE_SOURCE) {}

bool ArtistTitleSourceDialog::OnInitDialog() {
  HWND combo = item(IDC_FILE_NAME_FORMAT);
  for (const char* format : kFileNameFormats) {
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(format));
  }
  UpdateData(false);
  translator_ = TranslateDialog(window());
  return true;
}

void ArtistTitleSourceDialog::OnDestroy() { translator_.reset(); }

void ArtistTitleSourceDialog::Exchange(DataExchange& exchange) {
  exchange.ComboIndex(IDC_FILE_NAME_FORMAT, fileNameFormat);
  exchange.RadioGroup(IDC_SOURCE_INFO_THEN_NAME, source);
}

}  // namespace ui
}  // namespace tb
