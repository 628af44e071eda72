// The three reference plug-ins as a host meets them: loaded by the manager's scan from a
// plug-in folder, a WAVE file read through the source proxy in another format, and a
// file written through the sink proxy in another format than the host's.
#include <gtest/gtest.h>
#include <tunebay/tunebay.h>
#include <windows.h>

#include "core/globals.h"
#include "dll/assembly.h"
#include "plugins/pcm/converter.h"
#include "plugins/reference_test/reference_support.h"
#include "support/test_support.h"

namespace reftest {
namespace {

const char* const kRegistryName = "reference_plugins";

// A host's sink creator: asks the writer for a sink in its own fixed format, so the
// sink proxy has to convert.
class FileSinkCreator final : public tb::ISinkCreator {
 public:
  FileSinkCreator(com_ptr<tb::ISinkFactory> factory, std::string path, tb::AudioFormat format)
      : factory_(std::move(factory)), path_(std::move(path)), format_(format) {}
  void TB_STDCALL Unused0() noexcept override {}
  void TB_STDCALL Unused1() noexcept override {}
  bool TB_STDCALL CreateSinkObject(IUnknown** sink, const tb::AudioFormat*,
                                   int32_t) noexcept override {
    return factory_->CreateFileSink(path_.c_str(), &format_, sink, nullptr);
  }
  void Drop() { factory_.reset(); }

 private:
  com_ptr<tb::ISinkFactory> factory_;
  std::string path_;
  tb::AudioFormat format_;
};

std::vector<uint8_t> Converted(const std::vector<uint8_t>& input, const tb::AudioFormat& from,
                               const tb::AudioFormat& to) {
  std::string why;
  auto converter = tb::pcm::Converter::Create({from.sampleRate, from.bitsPerSample, from.channels},
                                              {to.sampleRate, to.bitsPerSample, to.channels}, &why);
  EXPECT_TRUE(converter) << why;
  if (!converter) return {};
  converter->Convert(input.data(), input.size());
  std::vector<uint8_t> out(converter->data(), converter->data() + converter->size());
  // The proxies end the stream: its tail is part of the audio.
  converter->Flush();
  out.insert(out.end(), converter->data(), converter->data() + converter->size());
  return out;
}

com_ptr<tb::IComponent> ComponentOfKind(tb::IManager* manager, int32_t kind) {
  com_ptr<tb::IComponentCollection> catalogue = Query<tb::IComponentCollection>(manager);
  com_ptr<tb::IComponent> found;
  for (int32_t i = 0; catalogue && i < catalogue->GetCount(); ++i) {
    com_ptr<tb::IComponent> item;
    if (catalogue->GetItem(i, item.put()) && item->GetKind() == kind) found = item;
  }
  return found;
}

TEST(reference_plugins_with_manager_test, proxies_read_and_write_through_the_plugins) {
  tbtest::TempFolder plugins;
  for (const char* dll : {kDecoderDll, kConvertorDll, kWriterDll}) {
    ASSERT_TRUE(plugins.CopyIn(tbtest::ExeFolder() + "plugins\\" + dll, dll));
  }
  tbtest::TempFolder files;
  const std::string settings = std::string("Software\\TunebayTests\\") + kRegistryName;
  RegDeleteTreeA(HKEY_CURRENT_USER, settings.c_str());

  tb::IManager* manager = nullptr;
  ASSERT_TRUE(tb::GetAssembledManager(&manager));
  ASSERT_TRUE(manager->SetPluginFolder(plugins.path().c_str()));
  {
    com_ptr<tb::IRegistryLocation> location = Query<tb::IRegistryLocation>(manager);
    ASSERT_TRUE(location);
    EXPECT_TRUE(location->SetKeyName1("TunebayTests", nullptr));
    EXPECT_TRUE(location->SetKeyName2(kRegistryName, nullptr));
  }
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(Query<tb::IComponentCollection>(manager)->GetCount(), 3);

  // Reading: 44.1 kHz stereo presented as 48 kHz stereo.
  const tb::AudioFormat fileFormat = {44100, 16, 2};
  const tb::AudioFormat hostFormat = {48000, 16, 2};
  WaveLayout layout;
  layout.samples = RandomBytes(4 * 30000, 42);
  layout.info = {{"INAM", "Title"}, {"IART", "Artist"}};
  const std::string path = files.path() + "\\in.wav";
  ASSERT_TRUE(WriteFileBytes(path, BuildWave(layout)));
  {
    com_ptr<IUnknown> source;
    com_ptr<tb::IError> error;
    ASSERT_TRUE(manager->OpenSource(path.c_str(), &hostFormat, source.put(), -1, tb::kOpenWithProxy,
                                    0, error.put()))
        << (error ? error->GetMessage() : "");
    com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(source.get());
    ASSERT_TRUE(control);
    ASSERT_TRUE(control->Start(0));
    std::vector<uint8_t> read;
    ASSERT_TRUE(ReadAll(source.get(), 16384, &read));
    EXPECT_TRUE(SameWithinOneStep(read, Converted(layout.samples, fileFormat, hostFormat),
                                  hostFormat.bitsPerSample))
        << read.size() << " bytes read";
    EXPECT_TRUE(control->Stop(0));
    EXPECT_FALSE(manager->IsReadyToFinish());
    control.reset();
    EXPECT_TRUE(ReleaseLast(source));
  }
  EXPECT_TRUE(manager->IsReadyToFinish());

  // Writing: the host's 44.1 kHz stereo into a 22.05 kHz 24-bit mono file.
  const tb::AudioFormat sinkFormat = {22050, 24, 1};
  const std::string out = files.path() + "\\out.wav";
  com_ptr<tb::IComponent> writer = ComponentOfKind(manager, tb::kKindEncoder);
  ASSERT_TRUE(writer);
  FileSinkCreator creator(Query<tb::ISinkFactory>(writer.get()), out, sinkFormat);
  writer.reset();
  {
    com_ptr<IUnknown> sink;
    ASSERT_TRUE(manager->CreateSink(&creator, sink.put(), &fileFormat, 0));
    com_ptr<tb::ISinkTags> tags = Query<tb::ISinkTags>(sink.get());  // reaches the sink
    ASSERT_TRUE(tags);
    EXPECT_TRUE(tags->SetTags("Written", "Host", nullptr, nullptr, 2020));
    tags.reset();
    com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(sink.get());
    com_ptr<tb::ISinkData> data = Query<tb::ISinkData>(sink.get());
    ASSERT_TRUE(control && data);
    ASSERT_TRUE(control->Start(0));
    for (size_t at = 0; at < layout.samples.size(); at += 4000) {
      const size_t n = std::min<size_t>(4000, layout.samples.size() - at);
      ASSERT_TRUE(data->Write(layout.samples.data() + at, static_cast<uint32_t>(n), 0, nullptr));
    }
    ASSERT_TRUE(control->Stop(0));
    control.reset();
    data.reset();
    EXPECT_TRUE(ReleaseLast(sink));
  }
  com_ptr<IUnknown> written = OpenWave(out);
  ASSERT_TRUE(written);
  std::vector<uint8_t> back;
  ASSERT_TRUE(ReadAll(written.get(), 8192, &back));
  EXPECT_TRUE(SameWithinOneStep(back, Converted(layout.samples, fileFormat, sinkFormat),
                                sinkFormat.bitsPerSample))
      << back.size() << " bytes";
  EXPECT_STREQ(Query<tb::ITagInfo>(written.get())->GetTitle(), "Written");
  EXPECT_TRUE(ReleaseLast(written));

  // The host's factory reference keeps the writer's library from unloading.
  EXPECT_FALSE(manager->IsReadyToFinish());
  creator.Drop();
  EXPECT_TRUE(manager->IsReadyToFinish());
  ASSERT_TRUE(manager->Finish());
  EXPECT_EQ(GetModuleHandleA((plugins.path() + "\\" + kDecoderDll).c_str()), nullptr);
  EXPECT_EQ(manager->Release(), 0u);
  RegDeleteTreeA(HKEY_CURRENT_USER, settings.c_str());
}

// Interfaces that reach the plug-in's object through a proxy (IFileInfo of the decoder,
// ISinkTags of the writer) may be released before or after the proxy: the objects
// forward their Release to the proxy, which ends when only its own references remain.
TEST(reference_plugins_with_manager_test, proxies_end_whichever_reference_goes_last) {
  tbtest::TempFolder plugins;
  for (const char* dll : {kDecoderDll, kConvertorDll, kWriterDll}) {
    ASSERT_TRUE(plugins.CopyIn(tbtest::ExeFolder() + "plugins\\" + dll, dll));
  }
  tbtest::TempFolder files;
  const std::string settings = std::string("Software\\TunebayTests\\") + kRegistryName;
  tb::IManager* manager = nullptr;
  ASSERT_TRUE(tb::GetAssembledManager(&manager));
  ASSERT_TRUE(manager->SetPluginFolder(plugins.path().c_str()));
  {
    com_ptr<tb::IRegistryLocation> location = Query<tb::IRegistryLocation>(manager);
    ASSERT_TRUE(location);
    EXPECT_TRUE(location->SetKeyName1("TunebayTests", nullptr));
    EXPECT_TRUE(location->SetKeyName2(kRegistryName, nullptr));
  }
  ASSERT_TRUE(manager->Initialise());
  WaveLayout layout;
  layout.samples = RandomBytes(4 * 1000, 7);
  const std::string path = files.path() + "\\in.wav";
  ASSERT_TRUE(WriteFileBytes(path, BuildWave(layout)));
  const tb::AudioFormat hostFormat = {48000, 16, 2};
  com_ptr<tb::IComponent> writer = ComponentOfKind(manager, tb::kKindEncoder);
  ASSERT_TRUE(writer);
  FileSinkCreator creator(Query<tb::ISinkFactory>(writer.get()), files.path() + "\\out.wav",
                          {22050, 16, 1});
  writer.reset();

  for (bool proxyFirst : {true, false}) {
    SCOPED_TRACE(proxyFirst ? "proxy released first" : "interface released first");
    IUnknown* source = nullptr;
    ASSERT_TRUE(manager->OpenSource(path.c_str(), &hostFormat, &source, -1, tb::kOpenWithProxy, 0,
                                    nullptr));
    IUnknown* info = Query<tb::IFileInfo>(source).detach();
    ASSERT_NE(info, nullptr);
    IUnknown* first = proxyFirst ? source : info;
    IUnknown* second = proxyFirst ? info : source;
    EXPECT_NE(first->Release(), 0u);
    EXPECT_EQ(tb::LiveProxyCount(), 1);
    EXPECT_TRUE(tbtest::ReleaseLast(second));
    EXPECT_EQ(tb::LiveProxyCount(), 0);

    IUnknown* sink = nullptr;
    ASSERT_TRUE(manager->CreateSink(&creator, &sink, &hostFormat, 0));
    IUnknown* tags = Query<tb::ISinkTags>(sink).detach();
    ASSERT_NE(tags, nullptr);
    first = proxyFirst ? sink : tags;
    second = proxyFirst ? tags : sink;
    EXPECT_NE(first->Release(), 0u);
    EXPECT_TRUE(tbtest::ReleaseLast(second));
    EXPECT_EQ(tb::LiveProxyCount(), 0);
  }
  creator.Drop();
  EXPECT_TRUE(manager->IsReadyToFinish());
  EXPECT_TRUE(manager->Finish());
  EXPECT_EQ(manager->Release(), 0u);
  RegDeleteTreeA(HKEY_CURRENT_USER, settings.c_str());
}

}  // namespace
}  // namespace reftest
