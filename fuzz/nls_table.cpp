// Fuzz target: the text table loader and the lookup. The first byte picks the language;
// the rest is the table. Checks that the arrays never grow past the entry limit and
// that a lookup gives the first stored translation of the source without ampersands.
#include "nls/nls_translator.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const uint16_t kLanguages[] = {0x0409, 0x0407, 0x0419, 0x0411, 0x0013};
  tb::NlsTranslator translator(tb::LanguageCodeFor(kLanguages[data[0] % 5]));
  const char* table = reinterpret_cast<const char*>(data + 1);
  translator.Load(table, size - 1);

  if (!translator.EnglishText(tb::kMaxEntryNumber + 1).empty()) std::abort();
  for (size_t number = 0; number < 64; ++number) {
    const std::string& english = translator.EnglishText(number);
    if (english.find('\0') != std::string::npos) std::abort();
    std::string plain;
    for (char c : english) {
      if (c != '&') plain.push_back(c);
    }
    std::string result;
    translator.Translate(english.c_str(), &result);
    // The first entry whose English text is `plain` and that has a translation gives
    // the result; with none, the result is `plain`. (An empty text also matches the
    // empty English texts of entries the table does not have, but only below the
    // highest English entry, which this check cannot see.)
    if (plain.empty()) continue;
    std::string expected = plain;
    for (size_t i = 0; i <= tb::kMaxEntryNumber; ++i) {
      if (translator.EnglishText(i) == plain && !translator.SelectedText(i).empty()) {
        expected = translator.SelectedText(i);
        break;
      }
    }
    if (result != expected) std::abort();
  }
  return 0;
}
