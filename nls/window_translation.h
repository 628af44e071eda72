// Translating the dialogs' windows with the built-in text table.
#ifndef TB_NLS_WINDOW_TRANSLATION_H
#define TB_NLS_WINDOW_TRANSLATION_H

#include <windows.h>

#include <cstdint>
#include <memory>

#include "nls/nls_translator.h"

namespace tb {

/// Picks the code for `langid`, makes a translator and loads the NLSDATA resource
/// `resourceId` of `module` (the DLL's own module handle). Null only when memory for
/// the translator cannot be had; a missing resource leaves it empty (no translation).
std::unique_ptr<NlsTranslator> CreateNlsTranslator(HMODULE module, int resourceId,
                                                   uint16_t langid) noexcept;

/// Translates the window texts, unsorted combo/list box items, tab labels and header
/// items of `window` and all its descendants, depth first.
void TranslateWindowTree(const NlsTranslator& translator, HWND window) noexcept;

}  // namespace tb

#endif  // TB_NLS_WINDOW_TRANSLATION_H
