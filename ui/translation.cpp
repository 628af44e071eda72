#include "ui/translation.h"

#include <tunebay/manager.h>

#include "base/com.h"
#include "core/manager.h"
#include "nls/window_translation.h"
#include "ui/dialog.h"

namespace tb {
namespace ui {

std::unique_ptr<NlsTranslator> TranslateDialog(HWND dialog) noexcept {
  com_ptr<IManager> manager;
  if (!Manager::GetInstance(manager.put()) || !manager) return nullptr;
  com_ptr<ILanguageSetting> language = manager.query<ILanguageSetting>();
  if (!language) return nullptr;
  std::unique_ptr<NlsTranslator> translator =
      CreateNlsTranslator(ResourceModule(), kTextTableResourceId, language->GetLanguage());
  if (translator) TranslateWindowTree(*translator, dialog);
  return translator;
}

}  // namespace ui
}  // namespace tb
