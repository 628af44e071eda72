#include "nls/language_list.h"

#include <tunebay/language.h>

#include <cstring>
#include <new>
#include <string>

#include "base/com.h"
#include "core/globals.h"
#include "core/manager.h"
#include "nls/language_table.h"
#include "nls/window_translation.h"

namespace tb {
namespace {

class LanguageList final : public ManagerPart, public outer_counted<ILanguageList> {
 public:
  explicit LanguageList(Manager& manager) noexcept : outer_counted(manager.primary()) {}

  int32_t TB_STDCALL GetLanguageCount() noexcept override {
    size_t count = 0;
    Languages(&count);
    return int32_t(count);
  }

  const char* TB_STDCALL GetLanguageCode(int32_t index) noexcept override {
    const LanguageInfo* language = At(index);
    return language ? language->code : nullptr;
  }

  const char* TB_STDCALL GetLanguageName(int32_t index) noexcept override {
    const LanguageInfo* language = At(index);
    return language ? language->name : nullptr;
  }

  int32_t TB_STDCALL GetLanguageIds(int32_t index, uint16_t* ids,
                                    int32_t capacity) noexcept override {
    const LanguageInfo* language = At(index);
    if (!language) return 0;
    size_t rowCount = 0;
    const LanguageCodeRow* rows = LanguageCodeRows(&rowCount);
    int32_t found = 0;
    for (size_t i = 0; i < rowCount; ++i) {
      if (std::strcmp(rows[i].code, language->code) != 0) continue;
      if (ids && found < capacity) ids[found] = rows[i].langid;
      ++found;
    }
    return found;
  }

  uint32_t TB_STDCALL GetCodePage(uint16_t language) noexcept override {
    const LanguageInfo* info = FindLanguage(LanguageCodeFor(language));
    return info ? info->codePage : 1252;
  }

  bool TB_STDCALL TranslateText(uint16_t language, const char* text, char* buffer, uint32_t size,
                                uint32_t* length) noexcept override {
    if (!text || !buffer || size == 0) return false;
    buffer[0] = '\0';
    std::unique_ptr<NlsTranslator> translator =
        CreateNlsTranslator(LibraryModule(), kTextTableResourceId, language);
    if (!translator) return false;
    try {
      std::string result;
      translator->Translate(text, &result);
      if (length) *length = uint32_t(result.size());
      if (result.size() >= size) return false;
      std::memcpy(buffer, result.c_str(), result.size() + 1);
      return true;
    } catch (...) {
      return false;
    }
  }

 private:
  static const LanguageInfo* At(int32_t index) noexcept {
    size_t count = 0;
    const LanguageInfo* languages = Languages(&count);
    return index >= 0 && size_t(index) < count ? &languages[index] : nullptr;
  }
};

}  // namespace

bool AddLanguageParts(Manager& manager) noexcept {
  LanguageList* list = new (std::nothrow) LanguageList(manager);
  if (!list || !manager.AddPart(std::unique_ptr<ManagerPart>(list))) return false;
  return manager.SetFace(iid_of<ILanguageList>(), static_cast<ILanguageList*>(list));
}

}  // namespace tb
