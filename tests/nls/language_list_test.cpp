// ILanguageList as a host reaches it: through GetTunebay of the built tunebay.dll.
#include <windows.h>

#include <tunebay/language.h>
#include <tunebay/manager.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/handles.h"
#include "support/test_support.h"

namespace tb {
namespace {

class language_list_test : public ::testing::Test {
 protected:
  void SetUp() override {
    dll_.reset(LoadLibraryA((tbtest::ExeFolder() + "tunebay.dll").c_str()));
    ASSERT_TRUE(dll_);
    auto get = reinterpret_cast<GetTunebayFn>(
        reinterpret_cast<void*>(GetProcAddress(dll_.get(), TB_EXPORT_GET_TUNEBAY)));
    ASSERT_TRUE(get && get(&manager_));
    ASSERT_EQ(manager_->QueryInterface(iid_of<ILanguageList>(), reinterpret_cast<void**>(&list_)),
              S_OK);
  }

  int32_t IndexOf(const char* code) {
    for (int32_t i = 0; i < list_->GetLanguageCount(); ++i) {
      if (std::strcmp(list_->GetLanguageCode(i), code) == 0) return i;
    }
    return -1;
  }

  std::string Translated(uint16_t language, const char* text) {
    char buffer[256];
    uint32_t length = 0;
    if (!list_->TranslateText(language, text, buffer, sizeof buffer, &length)) return "<failed>";
    EXPECT_EQ(length, std::strlen(buffer));
    return buffer;
  }

  unique_hmodule dll_;
  IManager* manager_ = nullptr;
  ILanguageList* list_ = nullptr;
};

TEST_F(language_list_test, is_a_face_of_the_manager) {
  EXPECT_TRUE(tbtest::ExpectRefCount(manager_, 2));
  ILanguageSetting* setting = nullptr;
  ASSERT_EQ(list_->QueryInterface(iid_of<ILanguageSetting>(), reinterpret_cast<void**>(&setting)),
            S_OK);
  IUnknown* fromList = nullptr;
  IUnknown* fromManager = nullptr;
  list_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromList));
  manager_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromManager));
  EXPECT_EQ(fromList, fromManager);
  EXPECT_TRUE(tbtest::ExpectRefCount(list_, 5));
  fromList->Release();
  fromManager->Release();
  setting->Release();
  EXPECT_EQ(list_->Release(), 1u);
  EXPECT_TRUE(tbtest::ReleaseLast(manager_));
}

TEST_F(language_list_test, lists_languages_and_translates_from_the_built_table) {
  EXPECT_EQ(list_->GetLanguageCount(), 32);
  const int32_t german = IndexOf("DEU");
  ASSERT_GE(german, 0);
  EXPECT_STREQ(list_->GetLanguageName(german), "German");
  uint16_t ids[4] = {};
  EXPECT_EQ(list_->GetLanguageIds(german, ids, 4), 2);
  EXPECT_EQ(ids[0], 0x0007);
  EXPECT_EQ(ids[1], 0x0407);
  uint16_t one[1] = {};
  EXPECT_EQ(list_->GetLanguageIds(IndexOf("ESL"), one, 1), 18);
  EXPECT_EQ(one[0], 0x080A);
  EXPECT_EQ(list_->GetLanguageIds(IndexOf("ARA"), nullptr, 0), 16);

  EXPECT_EQ(list_->GetLanguageCode(-1), nullptr);
  EXPECT_EQ(list_->GetLanguageName(32), nullptr);
  EXPECT_EQ(list_->GetLanguageIds(32, ids, 4), 0);
  EXPECT_EQ(list_->GetCodePage(0x0419), 1251u);
  EXPECT_EQ(list_->GetCodePage(0x0411), 932u);
  EXPECT_EQ(list_->GetCodePage(0x0009), 1252u);

  EXPECT_EQ(Translated(0x0407, "&Close"),
            "Schlie\xDF"
            "en");
  EXPECT_EQ(Translated(0x0019, "Move Up"), "\xC2\xE2\xE5\xF0\xF5");
  EXPECT_EQ(Translated(0x0009, "&Close"), "Close");
  EXPECT_EQ(Translated(0x0407, "Not in the table"), "Not in the table");

  char small[4] = "xyz";
  uint32_t length = 0;
  EXPECT_FALSE(list_->TranslateText(0x0407, "Close", small, sizeof small, &length));
  EXPECT_STREQ(small, "");
  EXPECT_EQ(length, 9u);
  EXPECT_FALSE(list_->TranslateText(0x0407, nullptr, small, sizeof small, nullptr));
  EXPECT_FALSE(list_->TranslateText(0x0407, "Close", nullptr, 8, nullptr));
  EXPECT_FALSE(list_->TranslateText(0x0407, "Close", small, 0, nullptr));
  list_->Release();
  EXPECT_TRUE(tbtest::ReleaseLast(manager_));
}

}  // namespace
}  // namespace tb
