// Tunebay SDK: the languages that the manager's dialogs can be shown in.
//
// ILanguageSetting (manager.h) chooses the language by a Windows language identifier
// (LANGID). ILanguageList, answered by the same manager object, tells a host which
// languages there are, which LANGIDs choose each of them, and what the dialogs' texts
// look like in each, so that a host can offer a choice or check its setting.
#ifndef TUNEBAY_LANGUAGE_H
#define TUNEBAY_LANGUAGE_H

#include "types.h"

namespace tb {

/// The manager's languages. QueryInterface, AddRef and Release are the manager's own:
/// one identity, one reference count.
///
/// Languages are numbered from 0 to GetLanguageCount() - 1 in a fixed order. Every
/// LANGID that no language lists chooses English ("ENU"). Texts returned as pointers
/// are constants of the library, valid while it is loaded.
struct ILanguageList : public IUnknown {
  /// The number of languages.
  virtual int32_t TB_STDCALL GetLanguageCount() = 0;
  /// The three-letter code of language `index` ("DEU"); null for an index outside
  /// the range.
  virtual const char* TB_STDCALL GetLanguageCode(int32_t index) = 0;
  /// The English name of language `index` ("German"); null outside the range.
  virtual const char* TB_STDCALL GetLanguageName(int32_t index) = 0;
  /// The LANGIDs that choose language `index`: stores the first `capacity` of them
  /// into `ids` (which may be null when `capacity` is 0) and returns how many there
  /// are, 0 outside the range.
  virtual int32_t TB_STDCALL GetLanguageIds(int32_t index, uint16_t* ids, int32_t capacity) = 0;
  /// The ANSI code page of the texts that the dialogs show for `language`, a LANGID.
  /// The dialogs pass these texts to the 8-bit window functions unchanged, so they
  /// read correctly only where this is the system code page.
  virtual uint32_t TB_STDCALL GetCodePage(uint16_t language) = 0;
  /// Translates the English dialog text `text` (for example "Close") as the dialogs
  /// do for `language`: mnemonic ampersands are dropped, and a text without a
  /// translation comes back as it is. The result, in the code page GetCodePage
  /// gives, is stored zero-terminated into `buffer` of `size` bytes, and its length
  /// without the zero into `*length` when `length` is not null.
  /// False when `text` or `buffer` is null or `size` is 0, and when the result does
  /// not fit (`buffer` then holds an empty text; `*length` still says how long the
  /// result is).
  virtual bool TB_STDCALL TranslateText(uint16_t language, const char* text, char* buffer,
                                        uint32_t size, uint32_t* length) = 0;
};

}  // namespace tb

TB_DECLARE_IID(ILanguageList, "1F3F9379-7FBC-4383-AEDB-7283F6EE9249", 0x1F3F9379, 0x7FBC, 0x4383,
               0xAE, 0xDB, 0x72, 0x83, 0xF6, 0xEE, 0x92, 0x49)

#endif  // TUNEBAY_LANGUAGE_H
