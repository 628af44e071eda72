// The dialogs' translation into the host's language.
#ifndef TB_UI_TRANSLATION_H
#define TB_UI_TRANSLATION_H

#include <windows.h>

#include <memory>

#include "nls/nls_translator.h"

namespace tb {
namespace ui {

/// Asks the manager for the host's language, makes a translator from the library's
/// text table and translates `dialog` with all its controls. The translator is
/// returned for the dialog to keep until its window goes; null (and the dialog stays
/// in English) when the manager or its language cannot be had.
std::unique_ptr<NlsTranslator> TranslateDialog(HWND dialog) noexcept;

}  // namespace ui
}  // namespace tb

#endif  // TB_UI_TRANSLATION_H
