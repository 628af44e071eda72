// Through the real tunebay.dll and a real plug-in library (tests/plugins/tone): the scan,
// OpenSource wrapping the decoder's source in a proxy that converts through the
// plug-in's convertor, artist and title from the file name, a URL fetched by the
// plug-in's downloader, and a Finish that waits for the last proxy.
#include <windows.h>

#include <tunebay/tunebay.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

using tbtest::ReleaseLast;

template <class I>
I* Query(IUnknown* object) {
  void* face = nullptr;
  if (FAILED(object->QueryInterface(tb::iid_of<I>(), &face))) return nullptr;
  return static_cast<I*>(face);
}

void AppendInt(std::string& bytes, int32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

const char kRegistryKey[] = "Software\\TunebayTests\\sources_end_to_end";

class plugin_end_to_end_test : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
    library_ = LoadLibraryA((tbtest::ExeFolder() + "tunebay.dll").c_str());
    ASSERT_NE(library_, nullptr);
    auto get = reinterpret_cast<tb::GetTunebayFn>(
        reinterpret_cast<void*>(GetProcAddress(library_, TB_EXPORT_GET_TUNEBAY)));
    ASSERT_NE(get, nullptr);
    ASSERT_TRUE(get(&manager_));
    ASSERT_TRUE(plugins_.CopyIn(tbtest::TestPluginFolder() + "zqtone.dll", "zqtone.dll"));

    // 8000 Hz 16-bit mono: a ramp that the conversion to 8 bits keeps recognisable.
    std::string tone = "TONE";
    AppendInt(tone, 8000);
    AppendInt(tone, 16);
    AppendInt(tone, 1);
    for (int i = 0; i < 3000; ++i) {
      samples_.push_back(static_cast<int16_t>((i % 200) * 300 - 30000));
      tone.push_back(static_cast<char>(samples_.back() & 0xFF));
      tone.push_back(static_cast<char>((samples_.back() >> 8) & 0xFF));
    }
    ASSERT_TRUE(plugins_.Write(kFileName, tone));
  }

  void TearDown() override {
    if (manager_) {
      EXPECT_TRUE(ReleaseLast(manager_));
    }
    if (library_) FreeLibrary(library_);
    RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
  }

  void Initialise() {
    ASSERT_TRUE(manager_->SetPluginFolder(plugins_.path().c_str()));
    tb::IRegistryLocation* location = Query<tb::IRegistryLocation>(manager_);
    ASSERT_NE(location, nullptr);
    EXPECT_TRUE(location->SetKeyName1("TunebayTests", nullptr));
    EXPECT_TRUE(location->SetKeyName2("sources_end_to_end", nullptr));
    location->Release();
    ASSERT_TRUE(manager_->Initialise());
  }

  static constexpr const char* kFileName = "Some Artist - Some Title.tone";
  HMODULE library_ = nullptr;
  tb::IManager* manager_ = nullptr;
  tbtest::TempFolder plugins_;
  std::vector<int16_t> samples_;
};

TEST_F(plugin_end_to_end_test, opens_converts_and_finishes_after_the_last_proxy) {
  Initialise();
  tb::IComponentCollection* catalogue = Query<tb::IComponentCollection>(manager_);
  ASSERT_NE(catalogue, nullptr);
  EXPECT_EQ(catalogue->GetCount(), 3);
  catalogue->Release();

  const std::string path = plugins_.path() + "\\" + kFileName;
  const tb::AudioFormat wanted = {8000, 8, 1};
  IUnknown* proxy = nullptr;
  tb::IError* error = nullptr;
  ASSERT_TRUE(
      manager_->OpenSource(path.c_str(), &wanted, &proxy, -1, tb::kOpenWithProxy, 0, &error));
  EXPECT_EQ(error, nullptr);
  tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
  tb::ISourceData* data = Query<tb::ISourceData>(proxy);
  tb::ISourcePosition* position = Query<tb::ISourcePosition>(proxy);
  tb::ITagInfo* tags = Query<tb::ITagInfo>(proxy);
  ASSERT_TRUE(control && data && position && tags);

  EXPECT_STREQ(tags->GetArtist(), "Some Artist");
  EXPECT_STREQ(tags->GetTitle(), "Some Title");
  EXPECT_EQ(position->GetLength(), 3000u);
  EXPECT_EQ(data->GetDataSize(), 3000u);  // half the bytes of 16-bit samples

  ASSERT_TRUE(control->Start(0));
  std::string delivered;
  char buffer[1000];
  uint32_t length = 0;
  int32_t status = 0;
  while (data->Read(buffer, sizeof buffer, &length, &status, nullptr) && length > 0) {
    delivered.append(buffer, length);
  }
  ASSERT_EQ(delivered.size(), samples_.size());
  for (size_t i = 0; i < samples_.size(); ++i) {
    ASSERT_EQ(static_cast<uint8_t>(delivered[i]), static_cast<uint8_t>((samples_[i] >> 8) + 128))
        << "sample " << i;
  }
  EXPECT_EQ(position->GetPosition(), position->GetLength());
  EXPECT_TRUE(control->Stop(0));

  // While the proxy lives the plug-ins stay: the manager refuses to finish.
  EXPECT_FALSE(manager_->IsReadyToFinish());
  EXPECT_FALSE(manager_->Finish());
  tags->Release();
  position->Release();
  data->Release();
  control->Release();
  EXPECT_TRUE(ReleaseLast(proxy));

  EXPECT_TRUE(manager_->IsReadyToFinish());
  EXPECT_TRUE(manager_->Finish());
  EXPECT_EQ(GetModuleHandleA((plugins_.path() + "\\zqtone.dll").c_str()), nullptr);
}

TEST_F(plugin_end_to_end_test, fetches_a_url_through_the_plugins_downloader) {
  Initialise();
  IUnknown* source = nullptr;
  tb::IError* error = nullptr;
  ASSERT_TRUE(manager_->OpenSource((std::string("http://files.example/") + kFileName).c_str(),
                                   nullptr, &source, -1, 0, 0, &error));
  EXPECT_EQ(error, nullptr);
  tb::IFileInfo* file = Query<tb::IFileInfo>(source);
  ASSERT_NE(file, nullptr);
  const std::string local = file->GetFilePath();
  EXPECT_NE(local.find("zqtone-"), std::string::npos) << local;
  file->Release();
  EXPECT_TRUE(ReleaseLast(source));
  DeleteFileA(local.c_str());

  // A file the downloader cannot find: nothing opened, FileInvalid.
  EXPECT_FALSE(manager_->OpenSource("http://files.example/missing.tone", nullptr, &source, -1, 0, 0,
                                    &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->GetCode(), tb::result::FileInvalid);
  EXPECT_TRUE(ReleaseLast(error));
  EXPECT_TRUE(manager_->Finish());
}

}  // namespace
