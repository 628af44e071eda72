// IManagerRules: the library's own rules as a host asks for them through the manager.
#include <tunebay/rules.h>

#include <string>
#include <vector>

#include "sources/proxy_fixture.h"

namespace source_fakes {
namespace {

class manager_rules_test : public ManagerFixture {
 protected:
  void SetUp() override {
    ManagerFixture::SetUp();
    rules = Query<tb::IManagerRules>(manager);
    ASSERT_NE(rules, nullptr);
  }
  void TearDown() override {
    if (rules) {
      EXPECT_EQ(rules->Release(), 1u);
    }
    ManagerFixture::TearDown();
  }

  tb::IManagerRules* rules = nullptr;
  std::vector<std::string> calls;
};

TEST_F(manager_rules_test, decoder_pass_follows_the_search) {
  struct Case {
    const char* what;
    DecoderConfig config;
    const char* extension;
    uint32_t required;
    int32_t expected;
  };
  DecoderConfig lists;
  lists.extensions = {"MP3"};
  DecoderConfig noOpener = lists;
  noOpener.opener = false;
  DecoderConfig opensNothing = lists;
  opensNothing.capabilities = 0;
  DecoderConfig noList = lists;
  noList.extensionList = false;
  DecoderConfig noProxy = lists;
  noProxy.features = 0;
  const Case cases[] = {
      {"lists it, case ignored", lists, "mp3", tb::kOpenWithProxy, tb::kDecoderPassListed},
      {"does not list it", lists, "wav", 0, tb::kDecoderPassOthers},
      {"no extension at all", lists, "", 0, tb::kDecoderPassOthers},
      {"no opener", noOpener, "mp3", 0, tb::kDecoderNoOpener},
      {"opens nothing", opensNothing, "mp3", 0, tb::kDecoderOpensNothing},
      {"no list", noList, "mp3", 0, tb::kDecoderNoExtensions},
      {"mask", noProxy, "mp3", tb::kOpenWithProxy, tb::kDecoderMasksExclude},
  };
  for (const Case& c : cases) {
    FakeDecoder* decoder = Add(new FakeDecoder(c.config, &calls));
    EXPECT_EQ(rules->GetDecoderPass(decoder, c.extension, c.required, 0), c.expected) << c.what;
  }
  EXPECT_TRUE(calls.empty()) << "planning must not open anything";
}

TEST_F(manager_rules_test, names_extensions_and_keys_come_back_as_the_library_uses_them) {
  EXPECT_EQ(rules->ClassifySourceName("C:\\music\\a.wav"), tb::kSourceNameLocal);
  EXPECT_EQ(rules->ClassifySourceName("HTTP://host/a.wav"), tb::kSourceNameHttp);
  EXPECT_EQ(rules->ClassifySourceName("ftp://host/a.wav"), tb::kSourceNameFtp);
  EXPECT_EQ(rules->ClassifySourceName("a.wav"), tb::kSourceNameBad);
  EXPECT_EQ(rules->ClassifySourceName(nullptr), tb::kSourceNameBad);

  char text[tb::kComponentKeySize] = "untouched";
  ASSERT_TRUE(rules->GetSearchExtension("C:\\x.y\\song.Flac", text, sizeof text));
  EXPECT_STREQ(text, "Flac");
  EXPECT_FALSE(rules->GetSearchExtension("C:\\song.flac", text, 4));  // "flac" needs 5
  EXPECT_STREQ(text, "Flac");

  DecoderConfig config;
  FakeDecoder* decoder = Add(new FakeDecoder(config, &calls), "zqfake.dll");
  ASSERT_TRUE(rules->GetComponentKey(decoder, text, sizeof text));
  EXPECT_STREQ(text, "zqfake.dll*0");
  EXPECT_FALSE(rules->GetComponentKey(decoder, text, 12));
  ASSERT_TRUE(rules->GetComponentKey(nullptr, text, sizeof text));
  EXPECT_STREQ(text, "*0");
}

TEST_F(manager_rules_test, stored_settings_are_read_from_the_managers_location) {
  int32_t value = -1;
  EXPECT_FALSE(rules->GetStoredSetting(tb::kSettingArtistTitleSource, &value));
  EXPECT_EQ(value, -1);
  // Finish stores what Initialise read (nothing: the initial values).
  impl().setArtistTitleFileNameFormat(2);
  ASSERT_TRUE(manager->Finish());
  ASSERT_TRUE(manager->Initialise());
  EXPECT_TRUE(rules->GetStoredSetting(tb::kSettingArtistTitleSource, &value));
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(rules->GetStoredSetting(tb::kSettingArtistTitleFileNameFormat, &value));
  EXPECT_EQ(value, 2);
  EXPECT_FALSE(rules->GetStoredSetting(99, &value));
  EXPECT_FALSE(rules->GetStoredSetting(tb::kSettingArtistTitleSource, nullptr));
}

}  // namespace
}  // namespace source_fakes
