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

class LanguageList final : public ILanguageList, public ManagerFaces {
 public:
  explicit LanguageList(Manager& manager) : manager_(manager) {}

  void* FindFace(REFIID iid) noexcept override {
    return same_iid(iid, iid_of<ILanguageList>()) ? static_cast<ILanguageList*>(this) : nullptr;
  }

  // The manager's identity and count.
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    return manager_.QueryInterface(iid, out);
  }
  ULONG TB_STDCALL AddRef() noexcept override { return manager_.AddRef(); }
  ULONG TB_STDCALL Release() noexcept override { return manager_.Release(); }

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

  Manager& manager_;
};

}  // namespace

ManagerFaces* MakeLanguageFaces(Manager& manager) noexcept {
  return new (std::nothrow) LanguageList(manager);
}

}  // namespace tb
