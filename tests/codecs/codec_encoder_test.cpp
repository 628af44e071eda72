// The FLAC encoder (zqflacenc) writes what the FLAC decoder reads back bit for bit, with
// its tags; check_written.sh then has the reference tool test and decode the same files.
#include <gtest/gtest.h>
#include <tunebay/tunebay.h>
#include <windows.h>

#include <fstream>
#include <iterator>

#include "plugins/reference_test/reference_support.h"
#include "plugins/wav/wav_file.h"
#include "support/test_support.h"

namespace reftest {
namespace {

std::string Fixture(const std::string& name) {
  return tbtest::ExeFolder() + "..\\codec_fixtures\\" + name;
}

// The samples and format of a WAVE fixture.
bool LoadWave(const std::string& name, tb::pcm::Format* format, std::vector<uint8_t>* samples) {
  std::ifstream in(Fixture(name), std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), {});
  tb::wav::MemoryReader reader(file.data(), file.size());
  const tb::wav::ParseResult parsed = tb::wav::Parse(reader);
  if (!parsed.ok) return false;
  *format = parsed.info.format;
  const auto* data = reinterpret_cast<const uint8_t*>(file.data()) + parsed.info.dataOffset;
  samples->assign(data, data + parsed.info.dataSize);
  return true;
}

TEST(codec_encoder_test, flac_files_decode_to_their_input_with_their_tags) {
  // Written into the fixture folder, where check_written.sh looks for them.
  const std::pair<const char*, const char*> cases[] = {{"s16.flac.ref.wav", "written16.flac"},
                                                       {"s24.flac.ref.wav", "written24.flac"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    tb::pcm::Format f{};
    std::vector<uint8_t> input;
    ASSERT_TRUE(LoadWave(c.first, &f, &input));
    const std::string path = Fixture(c.second);
    {
      com_ptr<tb::IComponent> encoder = PrimaryObject("zqflacenc.dll");
      ASSERT_TRUE(encoder);
      EXPECT_EQ(encoder->GetKind(), tb::kKindEncoder);
      com_ptr<tb::ISinkFactory> factory = Query<tb::ISinkFactory>(encoder.get());
      ASSERT_TRUE(factory);
      const tb::AudioFormat format{f.sampleRate, f.bitsPerSample, f.channels};
      com_ptr<IUnknown> sink;
      com_ptr<tb::IError> error;
      ASSERT_TRUE(factory->CreateFileSink(path.c_str(), &format, sink.put(), error.put()))
          << error->GetMessage();
      com_ptr<tb::ISinkTags> tags = Query<tb::ISinkTags>(sink.get());
      ASSERT_TRUE(tags->SetTags("Written Title", "Written Artist", "Written Album", "Folk", 2023));
      com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(sink.get());
      com_ptr<tb::ISinkData> data = Query<tb::ISinkData>(sink.get());
      ASSERT_TRUE(control->Start(0));
      EXPECT_FALSE(tags->SetTags("late", nullptr, nullptr, nullptr, 0));
      // Blocks that split frames: the sink must join them.
      for (size_t at = 0; at < input.size(); at += 10001) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(10001, input.size() - at));
        ASSERT_TRUE(data->Write(input.data() + at, n, 0, nullptr));
      }
      ASSERT_TRUE(control->Stop(0));
      tags.reset();
      control.reset();
      data.reset();
      factory.reset();
      EXPECT_TRUE(ReleaseLast(sink));
      EXPECT_TRUE(ReleaseLast(encoder));
    }
    EXPECT_TRUE(ReadyToFinish("zqflacenc.dll"));

    com_ptr<tb::IComponent> decoder = PrimaryObject("zqflac.dll");
    Opener opener(decoder.get());
    com_ptr<IUnknown> source;
    ASSERT_TRUE(opener->Open(path.c_str(), source.put(), tb::kOpenWithProxy, 0, nullptr));
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(ReadAll(source.get(), 65536, &decoded));
    EXPECT_TRUE(decoded == input) << "not bit-exact";
    com_ptr<tb::ITagInfo> read = Query<tb::ITagInfo>(source.get());
    EXPECT_STREQ(read->GetTitle(), "Written Title");
    EXPECT_STREQ(read->GetArtist(), "Written Artist");
    EXPECT_STREQ(read->GetAlbum(), "Written Album");
    EXPECT_STREQ(read->GetGenre(), "Folk");
    EXPECT_EQ(read->GetYear(), 2023);
    read.reset();
    EXPECT_TRUE(ReleaseLast(source));
  }
}

TEST(codec_encoder_test, refuses_formats_flac_cannot_hold) {
  com_ptr<tb::IComponent> encoder = PrimaryObject("zqflacenc.dll");
  com_ptr<tb::ISinkFactory> factory = Query<tb::ISinkFactory>(encoder.get());
  ASSERT_TRUE(factory);
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\x.flac";
  const tb::AudioFormat bad[] = {{0, 16, 2}, {44100, 16, 0}, {2000000, 16, 2}};
  for (const tb::AudioFormat& format : bad) {
    com_ptr<IUnknown> sink;
    com_ptr<tb::IError> error;
    EXPECT_FALSE(factory->CreateFileSink(path.c_str(), &format, sink.put(), error.put()));
    EXPECT_TRUE(IsError(error.get(), tb::result::BadFormat, "cannot hold"));
    EXPECT_FALSE(FileExists(path));
  }
  factory.reset();
  EXPECT_TRUE(ReleaseLast(encoder));
}

}  // namespace
}  // namespace reftest
