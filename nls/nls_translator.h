// The text table of the dialogs and the translator that looks texts up in it. Platform
// free: the Windows side (resource loading, window trees) is in window_translation.h.
#ifndef TB_NLS_NLS_TRANSLATOR_H
#define TB_NLS_NLS_TRANSLATOR_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tb {

/// Id of the NLSDATA resource that holds the built-in text table.
constexpr int kTextTableResourceId = 6006;

/// Highest entry number that a table may use. Entries above it are ignored, so that a
/// damaged or hostile table cannot make the arrays grow without bound; the built-in
/// table uses 1 to 29.
constexpr std::size_t kMaxEntryNumber = 10000;

/// Three-letter code ("DEU", "ENU", ...) for a 16-bit LANGID; "ENU" when not listed.
/// The whole identifier is compared: a sublanguage that is not listed gets "ENU" even
/// when another form of its primary language is listed.
const char* LanguageCodeFor(std::uint16_t langid) noexcept;

/// Translates the dialogs' English texts into one language: loads the English section
/// and the section of its code from a text table, then maps an English text to the
/// same-numbered entry of that section.
class NlsTranslator {
 public:
  explicit NlsTranslator(std::string code);  // code as LanguageCodeFor gives it

  const std::string& code() const noexcept;

  /// One pass over a text table (English section + the section of code()). Entries
  /// read here replace earlier ones of the same number. May throw std::bad_alloc.
  void Load(const char* table, size_t size);

  /// The translation of `source` (ampersands dropped) into `result`.
  /// Does nothing when either pointer is null.
  void Translate(const char* source, std::string* result) const;

  /// Entry `number` of the English section and of the chosen section; empty when the
  /// table had none.
  const std::string& EnglishText(std::size_t number) const noexcept;
  const std::string& SelectedText(std::size_t number) const noexcept;

 private:
  std::string code_;
  std::vector<std::string> english_;
  std::vector<std::string> selected_;
};

}  // namespace tb

#endif  // TB_NLS_NLS_TRANSLATOR_H
