// The bundled example plug-in (plugins/example) under the manager: catalogued as a
// collection, its tone decoder opening a file directly and through the source proxy,
// its level meter writing a report, and the library unloading only when nothing of it
// is left in use.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/plugin_harness.h"
#include "dll/assembly.h"
#include "support/test_support.h"

namespace {

using tb::IManager;
using tbtest::Query;
using tbtest::ReleaseLast;

class ExamplePlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.CopyIn(tbtest::ExeFolder() + "plugins\\zqexample.dll", "zqexample.dll"));
    ASSERT_TRUE(tb::GetAssembledManager(&manager_));
    ASSERT_TRUE(manager_->SetPluginFolder(folder_.path().c_str()));
    tb::IRegistryLocation* location = Query<tb::IRegistryLocation>(manager_);
    ASSERT_NE(location, nullptr);
    location->SetKeyName1("TunebayTests", nullptr);
    location->SetKeyName2("example_plugin", nullptr);
    location->Release();
    ASSERT_TRUE(manager_->Initialise());
  }
  void TearDown() override {
    EXPECT_TRUE(manager_->Finish());
    EXPECT_EQ(GetModuleHandleA((folder_.path() + "\\zqexample.dll").c_str()), nullptr);
    EXPECT_TRUE(ReleaseLast(manager_));
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\TunebayTests\\example_plugin");
  }
  std::string WriteTone(const std::string& text) {
    EXPECT_TRUE(files_.Write("a440.tone", text));
    return files_.path() + "\\a440.tone";
  }

  tbtest::TempFolder folder_;
  tbtest::TempFolder files_;
  IManager* manager_ = nullptr;
};

// Reads the whole source and returns its 16-bit samples.
std::vector<int16_t> ReadAll(IUnknown* source) {
  std::vector<int16_t> samples;
  tb::ISourceData* data = Query<tb::ISourceData>(source);
  EXPECT_NE(data, nullptr);
  if (!data) return samples;
  char buffer[1000];
  for (int guard = 0; guard < 10000; ++guard) {
    uint32_t length = 0;
    int32_t status = -1;
    if (!data->Read(buffer, sizeof buffer, &length, &status, nullptr) || length == 0) break;
    EXPECT_EQ(length % 4, 0u);
    const int16_t* words = reinterpret_cast<const int16_t*>(buffer);
    samples.insert(samples.end(), words, words + length / 2);
  }
  data->Release();
  return samples;
}

TEST_F(ExamplePlugin, collection_members_enter_the_catalogue) {
  const std::vector<tbtest::CatalogueEntry> expected = {
      {"Example tone decoder", tb::kKindDecoder, "zqexample.dll", 0},
      {"Example level meter", tb::kKindEncoder, "zqexample.dll", 1},
  };
  EXPECT_EQ(tbtest::ReadCatalogue(manager_), expected);
}

TEST_F(ExamplePlugin, tone_decoder_opens_a_tone_file_and_holds_the_library_meanwhile) {
  const std::string path = WriteTone("1000 0.5 8000\r\n");
  IUnknown* source = nullptr;
  tb::IError* error = nullptr;
  ASSERT_TRUE(manager_->OpenSource(path.c_str(), nullptr, &source, -1, 0, 0, &error));
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(error, nullptr);
  tb::ISourceData* data = Query<tb::ISourceData>(source);
  tb::AudioFormat format{};
  const tb::AudioFormat* got = data->GetFormat(&format);
  EXPECT_EQ(got->sampleRate, 8000);
  EXPECT_EQ(got->bitsPerSample, 16);
  EXPECT_EQ(got->channels, 2);
  data->Release();

  const std::vector<int16_t> samples = ReadAll(source);
  ASSERT_EQ(samples.size(), 2u * 4000);
  // 1000 Hz at 8000 Hz: a quarter period is two frames, at half scale on both channels.
  EXPECT_EQ(samples[0], 0);
  EXPECT_EQ(samples[4], 16383);
  EXPECT_EQ(samples[5], 16383);
  EXPECT_EQ(samples[12], -16383);

  // A source still in the host's hands keeps the library loaded.
  EXPECT_FALSE(manager_->IsReadyToFinish());
  EXPECT_TRUE(ReleaseLast(source));
  EXPECT_TRUE(manager_->IsReadyToFinish());
}

TEST_F(ExamplePlugin, tone_decoder_works_behind_the_source_proxy) {
  const std::string path = WriteTone("440 0.25");
  const tb::AudioFormat same = {44100, 16, 2};
  IUnknown* proxy = nullptr;
  ASSERT_TRUE(
      manager_->OpenSource(path.c_str(), &same, &proxy, -1, tb::kOpenWithProxy, 0, nullptr));
  tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
  ASSERT_NE(control, nullptr);
  EXPECT_TRUE(control->Start(0));
  EXPECT_EQ(ReadAll(proxy).size(), 2u * 11025);
  EXPECT_TRUE(control->Stop(0));
  control->Release();
  EXPECT_FALSE(manager_->IsReadyToFinish());  // the proxy lives
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(ExamplePlugin, bad_tone_files_are_refused_with_a_reason) {
  const std::string path = WriteTone("9000 1 8000");  // above half the sample rate
  IUnknown* source = nullptr;
  tb::IError* error = nullptr;
  EXPECT_FALSE(manager_->OpenSource(path.c_str(), nullptr, &source, -1, 0, 0, &error));
  EXPECT_EQ(source, nullptr);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->GetCode(), tb::result::BadFormat);
  EXPECT_TRUE(ReleaseLast(error));
}

TEST_F(ExamplePlugin, level_meter_reports_peak_and_frames) {
  tb::IComponentCollection* catalogue = Query<tb::IComponentCollection>(manager_);
  tb::IComponent* meter = nullptr;
  ASSERT_TRUE(catalogue->GetItem(1, &meter));
  catalogue->Release();
  tb::ISinkFactory* factory = Query<tb::ISinkFactory>(meter);
  ASSERT_NE(factory, nullptr);
  const std::string report = files_.path() + "\\levels.txt";
  const tb::AudioFormat mono = {8000, 16, 1};
  IUnknown* sink = nullptr;
  ASSERT_TRUE(factory->CreateFileSink(report.c_str(), &mono, &sink, nullptr));
  EXPECT_FALSE(manager_->IsReadyToFinish());  // the factory, the sink and the component
  tb::ISinkData* data = Query<tb::ISinkData>(sink);
  tb::ISourceControl* control = Query<tb::ISourceControl>(sink);
  const int16_t samples[] = {1000, -2000, 0, 500};
  const char* bytes = reinterpret_cast<const char*>(samples);
  ASSERT_TRUE(control->Start(0));
  EXPECT_TRUE(data->Write(bytes, 3, 0, nullptr));  // split inside a sample
  EXPECT_TRUE(data->Write(bytes + 3, 5, 0, nullptr));
  ASSERT_TRUE(control->Stop(0));
  data->Release();
  control->Release();
  EXPECT_TRUE(ReleaseLast(sink));
  factory->Release();
  meter->Release();

  std::ifstream in(report, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str().find("frames 4\r\npeak 2000 ("), 0u) << text.str();
  in.close();
  DeleteFileA(report.c_str());
}

}  // namespace
