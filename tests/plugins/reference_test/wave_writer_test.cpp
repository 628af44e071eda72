// The WAVE writer (zqwavewriter.dll) through its entry points: the factory's contract
// from include/tunebay/encoder.h, and files that the decoder reads back unchanged.
#include <gtest/gtest.h>
#include <tunebay/tunebay.h>
#include <windows.h>

#include <random>

#include "plugins/reference_test/reference_support.h"
#include "support/test_support.h"

namespace reftest {
namespace {

com_ptr<tb::ISinkFactory> Factory() {
  com_ptr<tb::IComponent> component = PrimaryObject(kWriterDll);
  return Query<tb::ISinkFactory>(component.get());
}

com_ptr<IUnknown> CreateSink(const std::string& path, const tb::AudioFormat& format,
                             com_ptr<tb::IError>* error = nullptr) {
  com_ptr<IUnknown> sink;
  com_ptr<tb::ISinkFactory> factory = Factory();
  if (!factory) return sink;
  if (!factory->CreateFileSink(path.c_str(), &format, sink.put(), error ? error->put() : nullptr)) {
    sink.detach();
  }
  return sink;
}

TEST(wave_writer_test, component_offers_the_sink_factory) {
  com_ptr<tb::IComponent> component = PrimaryObject(kWriterDll);
  ASSERT_TRUE(component);
  EXPECT_STREQ(component->GetName(), "WAVE writer");
  EXPECT_EQ(component->GetKind(), tb::kKindEncoder);
  EXPECT_TRUE(component->Setup(nullptr, nullptr));
  com_ptr<tb::ISinkFactory> factory = Query<tb::ISinkFactory>(component.get());
  ASSERT_TRUE(factory);
  EXPECT_FALSE(Query<tb::IConvertor>(component.get()));
  factory.reset();
  component->Shutdown();
  EXPECT_TRUE(ReleaseLast(component));
}

TEST(wave_writer_test, create_file_sink_refuses_bad_arguments_and_leaves_no_file) {
  tbtest::TempFolder folder;
  com_ptr<tb::ISinkFactory> factory = Factory();
  ASSERT_TRUE(factory);
  const std::string path = folder.path() + "\\out.wav";
  const tb::AudioFormat cd = {44100, 16, 2};
  IUnknown* sink = reinterpret_cast<IUnknown*>(&folder);  // must be overwritten
  com_ptr<tb::IError> error;

  EXPECT_FALSE(factory->CreateFileSink(nullptr, &cd, &sink, error.put()));
  EXPECT_EQ(sink, nullptr);
  EXPECT_TRUE(IsError(error.get(), tb::result::InvalidParameter, "path"));
  EXPECT_FALSE(factory->CreateFileSink("", &cd, &sink, error.put()));
  EXPECT_TRUE(IsError(error.get(), tb::result::InvalidParameter, "path"));
  EXPECT_FALSE(factory->CreateFileSink(path.c_str(), nullptr, &sink, error.put()));
  EXPECT_TRUE(IsError(error.get(), tb::result::InvalidParameter, "format"));
  EXPECT_FALSE(factory->CreateFileSink(path.c_str(), &cd, nullptr, error.put()));
  EXPECT_TRUE(IsError(error.get(), tb::result::InvalidParameter, "sink"));

  for (const tb::AudioFormat& bad : {tb::AudioFormat{44100, 16, 0}, tb::AudioFormat{0, 16, 2},
                                     tb::AudioFormat{44100, 0, 2}, tb::AudioFormat{-1, 16, 2}}) {
    EXPECT_FALSE(factory->CreateFileSink(path.c_str(), &bad, &sink, error.put()));
    EXPECT_TRUE(IsError(error.get(), tb::result::BadFormat, "cannot hold"));
  }
  EXPECT_FALSE(FileExists(path));

  const std::string nowhere = folder.path() + "\\no such folder\\out.wav";
  EXPECT_FALSE(factory->CreateFileSink(nowhere.c_str(), &cd, &sink, error.put()));
  ASSERT_TRUE(IsError(error.get(), tb::result::OpenFailed, "no such folder"));
  EXPECT_EQ(error->GetSystemError(), static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(sink, nullptr);
  // No error slot: the same refusal, no error object.
  EXPECT_FALSE(factory->CreateFileSink(nowhere.c_str(), &cd, &sink, nullptr));
  EXPECT_TRUE(ReleaseLast(error));
  EXPECT_TRUE(ReleaseLast(factory));
  EXPECT_TRUE(ReadyToFinish(kWriterDll));
}

TEST(wave_writer_test, sink_format_is_the_nearest_writable_one) {
  tbtest::TempFolder folder;
  struct Case {
    tb::AudioFormat wanted;
    tb::AudioFormat own;
  };
  const Case cases[] = {
      {{44100, 16, 2}, {44100, 16, 2}}, {{48000, 12, 2}, {48000, 16, 2}},
      {{8000, 4, 1}, {8000, 8, 1}},     {{96000, 20, 6}, {96000, 24, 6}},
      {{96000, 64, 2}, {96000, 32, 2}}, {{44100, 32, 20000}, {44100, 32, 16383}},
  };
  for (const Case& c : cases) {
    com_ptr<IUnknown> sink = CreateSink(folder.path() + "\\f.wav", c.wanted);
    ASSERT_TRUE(sink);
    com_ptr<tb::ISinkData> data = Query<tb::ISinkData>(sink.get());
    tb::AudioFormat own = {};
    EXPECT_EQ(data->GetFormat(&own), &own);
    EXPECT_EQ(own.sampleRate, c.own.sampleRate);
    EXPECT_EQ(own.bitsPerSample, c.own.bitsPerSample);
    EXPECT_EQ(own.channels, c.own.channels);
    ASSERT_NE(data->GetFormat(nullptr), nullptr);
    EXPECT_EQ(data->GetFormat(nullptr)->bitsPerSample, c.own.bitsPerSample);
    data.reset();
    EXPECT_TRUE(ReleaseLast(sink));
  }
}

// Written through the sink in uneven pieces (frames split across writes), read back
// through the decoder: the same format, samples and tags.
TEST(wave_writer_test, files_read_back_through_the_decoder_unchanged) {
  tbtest::TempFolder folder;
  const tb::AudioFormat formats[] = {
      {44100, 16, 2}, {48000, 24, 6}, {8000, 8, 1}, {96000, 32, 3}, {22050, 16, 1}};
  std::mt19937 random(5);
  uint32_t seed = 300;
  for (const tb::AudioFormat& format : formats) {
    SCOPED_TRACE(testing::Message()
                 << format.sampleRate << "/" << format.bitsPerSample << "/" << format.channels);
    const std::string path = folder.path() + "\\round.wav";
    const size_t frame = static_cast<size_t>(format.bitsPerSample / 8 * format.channels);
    // An odd number of 8-bit mono frames makes the data chunk need its pad byte.
    const std::vector<uint8_t> samples = RandomBytes(frame * 4001, ++seed);

    com_ptr<IUnknown> sink = CreateSink(path, format);
    ASSERT_TRUE(sink);
    EXPECT_TRUE(FileExists(path));
    com_ptr<tb::ISinkTags> tags = Query<tb::ISinkTags>(sink.get());
    com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(sink.get());
    com_ptr<tb::ISinkData> data = Query<tb::ISinkData>(sink.get());
    ASSERT_TRUE(tags && control && data);
    EXPECT_TRUE(tags->SetTags("First", nullptr, "Album", "", 1999));
    EXPECT_TRUE(tags->SetTags("Title", "Artist", "Album", "Genre", 2004));  // replaces
    EXPECT_EQ(control->GetState(), 0u);
    ASSERT_TRUE(control->Start(0));
    EXPECT_TRUE(control->Start(0));  // already writing
    EXPECT_EQ(control->GetState(), 1u);
    EXPECT_FALSE(tags->SetTags("Late", nullptr, nullptr, nullptr, 0));
    for (size_t at = 0; at < samples.size();) {
      const size_t n = std::min<size_t>(samples.size() - at, 1 + random() % 997);
      com_ptr<tb::IError> error;
      ASSERT_TRUE(data->Write(samples.data() + at, static_cast<uint32_t>(n), 0, error.put()));
      EXPECT_FALSE(error);
      at += n;
    }
    // A trailing partial frame is left out of the file.
    if (frame > 1) {
      EXPECT_TRUE(data->Write(samples.data(), 1, 0, nullptr));
    }
    ASSERT_TRUE(control->Stop(0));
    EXPECT_EQ(control->GetState(), 2u);
    EXPECT_TRUE(control->Stop(0));
    EXPECT_FALSE(control->Start(0));  // one file per sink
    tags.reset();
    control.reset();
    data.reset();
    EXPECT_TRUE(ReleaseLast(sink));

    com_ptr<IUnknown> source = OpenWave(path);
    ASSERT_TRUE(source);
    com_ptr<tb::ISourceData> read = Query<tb::ISourceData>(source.get());
    tb::AudioFormat own = {};
    read->GetFormat(&own);
    EXPECT_EQ(own.sampleRate, format.sampleRate);
    EXPECT_EQ(own.bitsPerSample, format.bitsPerSample);
    EXPECT_EQ(own.channels, format.channels);
    std::vector<uint8_t> back;
    ASSERT_TRUE(ReadAll(source.get(), 8192, &back));
    EXPECT_TRUE(back == samples) << back.size() << " bytes read, " << samples.size() << " written";
    com_ptr<tb::ITagInfo> info = Query<tb::ITagInfo>(source.get());
    ASSERT_TRUE(info);
    EXPECT_STREQ(info->GetTitle(), "Title");
    EXPECT_STREQ(info->GetArtist(), "Artist");
    EXPECT_STREQ(info->GetAlbum(), "Album");
    EXPECT_STREQ(info->GetGenre(), "Genre");
    EXPECT_EQ(info->GetYear(), 2004);
    read.reset();
    info.reset();
    EXPECT_TRUE(ReleaseLast(source));
  }
  EXPECT_TRUE(ReadyToFinish(kWriterDll));
  EXPECT_TRUE(ReadyToFinish(kDecoderDll));
}

TEST(wave_writer_test, writes_outside_start_and_stop_are_refused) {
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\w.wav";
  com_ptr<IUnknown> sink = CreateSink(path, {44100, 16, 2});
  ASSERT_TRUE(sink);
  com_ptr<tb::ISinkData> data = Query<tb::ISinkData>(sink.get());
  com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(sink.get());
  const uint8_t frame[4] = {1, 2, 3, 4};
  com_ptr<tb::IError> error;
  EXPECT_FALSE(data->Write(frame, 4, 0, error.put()));
  EXPECT_TRUE(IsError(error.get(), tb::result::WrongCall, "not started"));
  // A conversion may give nothing for a small block; the sink takes that quietly.
  EXPECT_TRUE(data->Write(nullptr, 0, 0, nullptr));
  ASSERT_TRUE(control->Start(0));
  EXPECT_FALSE(data->Write(nullptr, 4, 0, error.put()));
  EXPECT_TRUE(IsError(error.get(), tb::result::InvalidParameter, "no data"));
  EXPECT_TRUE(data->Write(frame, 4, 0, nullptr));
  ASSERT_TRUE(control->Stop(0));
  EXPECT_FALSE(data->Write(frame, 4, 0, error.put()));
  EXPECT_TRUE(IsError(error.get(), tb::result::WrongCall, "finished"));
  EXPECT_TRUE(ReleaseLast(error));
  data.reset();
  control.reset();
  EXPECT_TRUE(ReleaseLast(sink));
}

// What encoder.h promises about Stop: without Start it still makes a complete, empty
// file; without Stop the file stays incomplete (its header claims no samples).
TEST(wave_writer_test, only_stop_completes_the_file) {
  tbtest::TempFolder folder;
  const std::string empty = folder.path() + "\\empty.wav";
  com_ptr<IUnknown> sink = CreateSink(empty, {32000, 16, 1});
  ASSERT_TRUE(sink);
  com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(sink.get());
  ASSERT_TRUE(control->Stop(0));
  control.reset();
  EXPECT_TRUE(ReleaseLast(sink));
  com_ptr<IUnknown> source = OpenWave(empty);
  ASSERT_TRUE(source);
  EXPECT_EQ(Query<tb::ISourcePosition>(source.get())->GetLength(), 0u);
  EXPECT_TRUE(ReleaseLast(source));

  const std::string cut = folder.path() + "\\cut.wav";
  sink = CreateSink(cut, {32000, 16, 1});
  ASSERT_TRUE(sink);
  control = Query<tb::ISourceControl>(sink.get());
  com_ptr<tb::ISinkData> data = Query<tb::ISinkData>(sink.get());
  ASSERT_TRUE(control->Start(0));
  const std::vector<uint8_t> samples = RandomBytes(2000, 1);
  ASSERT_TRUE(data->Write(samples.data(), 2000, 0, nullptr));
  control.reset();
  data.reset();
  EXPECT_TRUE(ReleaseLast(sink));
  EXPECT_TRUE(FileExists(cut));
  source = OpenWave(cut);
  ASSERT_TRUE(source);
  EXPECT_EQ(Query<tb::ISourcePosition>(source.get())->GetLength(), 0u);
  EXPECT_TRUE(ReleaseLast(source));
  EXPECT_TRUE(ReadyToFinish(kWriterDll));
}

// The way the library's sink proxy holds a sink: four references of its own, then
// Attach; it is gone when InnerRelease reports those four.
TEST(wave_writer_test, sink_lifetime_shares_one_count_with_the_proxy) {
  tbtest::TempFolder folder;
  com_ptr<IUnknown> host = CreateSink(folder.path() + "\\p.wav", {44100, 16, 2});
  ASSERT_TRUE(host);
  com_ptr<tb::ILifetime> lifetime = Query<tb::ILifetime>(host.get());
  com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(host.get());
  com_ptr<tb::ISinkData> data = Query<tb::ISinkData>(host.get());
  com_ptr<IUnknown> itself(host.get());
  ASSERT_TRUE(lifetime && control && data);
  IUnknown* outer = control.get();  // any interface will do as the outer object
  EXPECT_TRUE(lifetime->Attach(outer));
  EXPECT_FALSE(ReadyToFinish(kWriterDll));
  EXPECT_EQ(lifetime->InnerAddRef(), 6u);
  EXPECT_EQ(lifetime->InnerRelease(), 5u);
  EXPECT_EQ(lifetime->InnerRelease(), 4u);
  host.detach();
  EXPECT_TRUE(lifetime->Detach());
  EXPECT_FALSE(lifetime->Detach());
  itself.reset();
  control.reset();
  data.reset();
  EXPECT_TRUE(ReleaseLast(lifetime));
  EXPECT_TRUE(ReadyToFinish(kWriterDll));
}

}  // namespace
}  // namespace reftest
