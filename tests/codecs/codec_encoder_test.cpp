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
  // Written into the fixture folder, where check_written.sh looks for them; at the two
  // ends of the compression range.
  struct Case {
    const char* input;
    const char* output;
    int32_t level;
  };
  const Case cases[] = {{"s16.flac.ref.wav", "written16.flac", 0},
                        {"s24.flac.ref.wav", "written24.flac", 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    tb::pcm::Format f{};
    std::vector<uint8_t> input;
    ASSERT_TRUE(LoadWave(c.input, &f, &input));
    const std::string path = Fixture(c.output);
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
      com_ptr<tb::ISinkCompression> compression = Query<tb::ISinkCompression>(sink.get());
      ASSERT_TRUE(compression);
      ASSERT_TRUE(compression->SetLevel(c.level));
      com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(sink.get());
      com_ptr<tb::ISinkData> data = Query<tb::ISinkData>(sink.get());
      ASSERT_TRUE(control->Start(0));
      EXPECT_FALSE(tags->SetTags("late", nullptr, nullptr, nullptr, 0));
      EXPECT_FALSE(compression->SetLevel(5)) << "a level after Start";
      EXPECT_EQ(compression->GetLevel(), c.level);
      compression.reset();
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

// The levels 0 to 8, 5 unless set; the highest makes a smaller file than the lowest.
TEST(codec_encoder_test, compression_level_is_set_before_start_and_shapes_the_file) {
  tb::pcm::Format f{};
  std::vector<uint8_t> input;
  ASSERT_TRUE(LoadWave("s16.flac.ref.wav", &f, &input));
  com_ptr<tb::IComponent> encoder = PrimaryObject("zqflacenc.dll");
  com_ptr<tb::ISinkFactory> factory = Query<tb::ISinkFactory>(encoder.get());
  ASSERT_TRUE(factory);
  tbtest::TempFolder folder;
  const tb::AudioFormat format{f.sampleRate, f.bitsPerSample, f.channels};
  uint64_t sizes[2] = {};
  for (int32_t level : {0, 8}) {
    const std::string path = folder.path() + "\\l" + std::to_string(level) + ".flac";
    com_ptr<IUnknown> sink;
    ASSERT_TRUE(factory->CreateFileSink(path.c_str(), &format, sink.put(), nullptr));
    com_ptr<tb::ISinkCompression> compression = Query<tb::ISinkCompression>(sink.get());
    int32_t lowest = -1, highest = -1, standard = -1;
    EXPECT_TRUE(compression->GetLevelRange(&lowest, &highest, &standard));
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, 8);
    EXPECT_EQ(standard, 5);
    EXPECT_EQ(compression->GetLevel(), 5);
    EXPECT_FALSE(compression->SetLevel(-1));
    EXPECT_FALSE(compression->SetLevel(9));
    EXPECT_TRUE(compression->SetLevel(level));
    com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(sink.get());
    com_ptr<tb::ISinkData> data = Query<tb::ISinkData>(sink.get());
    ASSERT_TRUE(control->Start(0));
    ASSERT_TRUE(data->Write(input.data(), static_cast<uint32_t>(input.size()), 0, nullptr));
    ASSERT_TRUE(control->Stop(0));
    compression.reset();
    control.reset();
    data.reset();
    EXPECT_TRUE(ReleaseLast(sink));
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes));
    sizes[level == 8] = attributes.nFileSizeLow;
  }
  EXPECT_LT(sizes[1], sizes[0]);
  factory.reset();
  EXPECT_TRUE(ReleaseLast(encoder));
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
