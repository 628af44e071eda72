// The languages that the dialogs know: which LANGID chooses which section of the text
// table, what each language is called and which code page its section is stored in.
#ifndef TB_NLS_LANGUAGE_TABLE_H
#define TB_NLS_LANGUAGE_TABLE_H

#include <cstddef>
#include <cstdint>

namespace tb {

/// The code of the English section, and of every LANGID the table does not list.
constexpr char kEnglishLanguageCode[] = "ENU";

/// One row of the LANGID table.
struct LanguageCodeRow {
  std::uint16_t langid;
  const char* code;
};

/// The LANGID table, ordered by code. `count` receives the number of rows. The "ENU"
/// row lists only the identifier named for English explicitly.
const LanguageCodeRow* LanguageCodeRows(std::size_t* count) noexcept;

/// A language code with its English name and the ANSI code page of the texts that a
/// translator for it gives.
struct LanguageInfo {
  const char* code;
  const char* name;
  std::uint32_t codePage;
  /// False for the codes that have no section of their own in the built-in table:
  /// they see the English texts (code page 1252).
  bool hasSection;
};

/// Every code of the LANGID table once, ordered by code.
const LanguageInfo* Languages(std::size_t* count) noexcept;

/// The language of `code` (compared without regard to case), or null.
const LanguageInfo* FindLanguage(const char* code) noexcept;

}  // namespace tb

#endif  // TB_NLS_LANGUAGE_TABLE_H
