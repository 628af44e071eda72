// The FLAC, Ogg Vorbis and MP3 decoders (zqflac, zqvorbis, zqmp3) loaded from
// bin\plugins as the manager loads them, against what each format's reference decoder
// makes of the same files (make_fixtures.sh runs the reference tools before this test).
#include <gtest/gtest.h>
#include <tunebay/tunebay.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "base/handles.h"
#include "plugins/common/file_stream.h"
#include "plugins/mp3/mp3_decoder.h"
#include "plugins/reference_test/reference_support.h"
#include "plugins/wav/wav_file.h"
#include "support/test_support.h"

namespace reftest {
namespace {

const char* const kFlac = "zqflac.dll";
const char* const kVorbis = "zqvorbis.dll";
const char* const kMp3 = "zqmp3.dll";
const char* const kWave = "zqwave.dll";

std::string Fixture(const std::string& name) {
  return tbtest::ExeFolder() + "..\\codec_fixtures\\" + name;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A reference decoder's WAVE output: its format and sample bytes.
struct Pcm {
  tb::pcm::Format format{};
  std::vector<uint8_t> bytes;
};

Pcm Reference(const std::string& name) {
  Pcm pcm;
  const std::string file = FileBytes(Fixture(name + ".ref.wav"));
  tb::wav::MemoryReader reader(file.data(), file.size());
  const tb::wav::ParseResult parsed = tb::wav::Parse(reader);
  EXPECT_TRUE(parsed.ok) << name << ": " << parsed.error;
  if (!parsed.ok) return pcm;
  pcm.format = parsed.info.format;
  const auto* data = reinterpret_cast<const uint8_t*>(file.data()) + parsed.info.dataOffset;
  pcm.bytes.assign(data, data + parsed.info.dataSize);
  return pcm;
}

com_ptr<IUnknown> Open(const char* dll, const std::string& path,
                       com_ptr<tb::IError>* error = nullptr) {
  com_ptr<tb::IComponent> component = PrimaryObject(dll);
  com_ptr<IUnknown> source;
  if (!component) return source;
  Opener opener(component.get());
  com_ptr<tb::IError> failure;
  if (!opener->Open(path.c_str(), source.put(), tb::kOpenWithProxy, 0, failure.put())) {
    source.detach();
  }
  if (error) *error = std::move(failure);
  return source;
}

int32_t Sample(const uint8_t* p, int32_t bits) {
  switch (bits) {
    case 16:
      return static_cast<int16_t>(p[0] | p[1] << 8);
    case 24:
      return static_cast<int32_t>(static_cast<uint32_t>(p[0] << 8 | p[1] << 16 | p[2] << 24)) >> 8;
    default:
      return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                  static_cast<uint32_t>(p[3]) << 24);
  }
}

// Every sample of `ours` within `tolerance` of `ref`, both scaled to `ref`'s width
// (ours is rounded down to it when wider).
::testing::AssertionResult Near(const std::vector<uint8_t>& ours, int32_t ourBits, const Pcm& ref,
                                int32_t tolerance, size_t refStart = 0) {
  const int32_t refBits = ref.format.bitsPerSample;
  const size_t ourStep = static_cast<size_t>(ourBits / 8),
               refStep = static_cast<size_t>(refBits / 8);
  const size_t samples = ours.size() / ourStep;
  if (refStart + samples * refStep > ref.bytes.size()) {
    return ::testing::AssertionFailure() << "more samples than the reference holds";
  }
  for (size_t i = 0; i < samples; ++i) {
    int32_t a = Sample(ours.data() + i * ourStep, ourBits);
    const int32_t b = Sample(ref.bytes.data() + refStart + i * refStep, refBits);
    if (ourBits > refBits) {
      const int shift = ourBits - refBits;
      a = (a + (1 << (shift - 1))) >> shift;
    }
    if (std::abs(a - b) > tolerance) {
      return ::testing::AssertionFailure() << "sample " << i << ": " << a << " against " << b;
    }
  }
  return ::testing::AssertionSuccess();
}

tb::AudioFormat FormatOf(IUnknown* source) {
  tb::AudioFormat format{};
  com_ptr<tb::ISourceData> data = Query<tb::ISourceData>(source);
  if (data) data->GetFormat(&format);
  return format;
}

struct DecodeCase {
  const char* dll;
  const char* file;
  int32_t bits;       // what the decoder delivers
  int32_t tolerance;  // in steps of the reference's width
};

TEST(codec_decoder_test, decodes_like_the_reference_decoder) {
  const DecodeCase cases[] = {
      {kFlac, "s16.flac", 16, 0},  {kFlac, "s24.flac", 24, 0}, {kFlac, "s16.oga", 16, 0},
      {kMp3, "s16.mp3", 24, 1},    {kMp3, "m22.mp3", 24, 1},   {kVorbis, "s16.ogg", 16, 1},
      {kWave, "f32.wav", 24, 1},   {kWave, "f64.wav", 24, 1},  {kFlac, "nolen.flac", 16, 0},
      {kMp3, "noxing.mp3", 24, 1}, {kMp3, "m8.mp3", 24, 1},    {kVorbis, "m22.ogg", 16, 1},
      {kMp3, "ff.mp3", 24, 1},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.file);
    const Pcm ref = Reference(c.file);
    com_ptr<tb::IError> error;
    com_ptr<IUnknown> source = Open(c.dll, Fixture(c.file), &error);
    ASSERT_TRUE(source) << (error ? error->GetMessage() : "");
    const tb::AudioFormat format = FormatOf(source.get());
    EXPECT_EQ(format.sampleRate, ref.format.sampleRate);
    EXPECT_EQ(format.channels, ref.format.channels);
    EXPECT_EQ(format.bitsPerSample, c.bits);
    const size_t refFrames = ref.bytes.size() / tb::pcm::FrameBytes(ref.format);
    com_ptr<tb::ISourcePosition> position = Query<tb::ISourcePosition>(source.get());
    EXPECT_EQ(position->GetLength(), refFrames);

    std::vector<uint8_t> ours;
    // An odd chunk size: reads must still come in whole frames.
    ASSERT_TRUE(ReadAll(source.get(), 10007, &ours));
    const size_t frameBytes = static_cast<size_t>(c.bits / 8 * format.channels);
    EXPECT_EQ(ours.size() / frameBytes, refFrames) << "length differs from the reference";
    EXPECT_EQ(position->GetPosition(), position->GetLength());
    if (c.tolerance == 0) {
      EXPECT_TRUE(ours == ref.bytes) << "not bit-exact";
    } else {
      EXPECT_TRUE(Near(ours, c.bits, ref, c.tolerance));
    }
    position.reset();
    EXPECT_TRUE(ReleaseLast(source));
  }
  EXPECT_TRUE(ReadyToFinish(kFlac));
  EXPECT_TRUE(ReadyToFinish(kVorbis));
  EXPECT_TRUE(ReadyToFinish(kMp3));
}

// The plug-in delivers 24 bits; the decoder's 16-bit output is as long as the reference
// decoder's and within 1 LSB of its plain rounding: the dither moves a sample less than
// a step from the value rounding gives.
TEST(codec_decoder_test, mp3_at_16_bits_is_within_1_lsb_of_the_reference_decoder) {
  std::string why;
  const auto api = tb::mp3::LoadMpg123(tbtest::ExeFolder() + "plugins\\libmpg123.dll", &why);
  ASSERT_TRUE(api) << why;
  for (const char* name : {"s16.mp3", "m22.mp3"}) {
    SCOPED_TRACE(name);
    const std::string file = FileBytes(Fixture(name));
    tb::wav::MemoryReader reader(file.data(), file.size());
    tb::codec::Opened opened = tb::mp3::OpenMp3(api, reader, 16);
    ASSERT_TRUE(opened.decoder) << opened.error;
    const Pcm ref = Reference(name);
    std::vector<uint8_t> ours(ref.bytes.size() + 4096);
    size_t total = 0, got = 0;
    const size_t frameBytes = tb::pcm::FrameBytes(opened.decoder->info().format);
    do {
      ASSERT_TRUE(
          opened.decoder->Read(ours.data() + total, (ours.size() - total) / frameBytes, &got))
          << opened.decoder->error();
      total += got * frameBytes;
    } while (got > 0 && total < ours.size());
    ours.resize(total);
    EXPECT_EQ(ours.size(), ref.bytes.size());
    EXPECT_TRUE(Near(ours, 16, ref, 1));
  }
}

TEST(codec_decoder_test, seeks_to_the_exact_frame) {
  const DecodeCase cases[] = {{kFlac, "s16.flac", 16, 0},
                              {kFlac, "s16.oga", 16, 0},
                              {kMp3, "s16.mp3", 24, 1},
                              {kVorbis, "s16.ogg", 16, 1}};
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.file);
    const Pcm ref = Reference(c.file);
    com_ptr<IUnknown> source = Open(c.dll, Fixture(c.file));
    ASSERT_TRUE(source);
    com_ptr<tb::ISourceSeek> seek = Query<tb::ISourceSeek>(source.get());
    com_ptr<tb::ISourceData> data = Query<tb::ISourceData>(source.get());
    const size_t frameBytes = static_cast<size_t>(c.bits / 8 * 2);
    for (uint64_t to : {uint64_t{150000}, uint64_t{12345}, uint64_t{0}}) {
      ASSERT_TRUE(seek->Seek(to, 0));
      std::vector<uint8_t> block(4000 * frameBytes);
      uint32_t got = 0;
      int32_t status = -1;
      ASSERT_TRUE(
          data->Read(block.data(), static_cast<uint32_t>(block.size()), &got, &status, nullptr));
      ASSERT_GT(got, 0u);
      block.resize(got);
      const size_t refStart = static_cast<size_t>(to) * tb::pcm::FrameBytes(ref.format);
      EXPECT_TRUE(Near(block, c.bits, ref, c.tolerance, refStart)) << "after a seek to " << to;
    }
    seek.reset();
    data.reset();
    EXPECT_TRUE(ReleaseLast(source));
  }
}

struct TagCase {
  const char* dll;
  const char* file;
  const char* title;
  const char* artist;
  const char* album;  // null: none expected
  const char* genre;
  int32_t year;
};

TEST(codec_decoder_test, reads_back_the_tags_the_encoders_wrote) {
  const TagCase cases[] = {
      {kFlac, "s16.flac", "Flac Title", "Flac Artist", "Flac Album", "Ambient", 2019},
      {kFlac, "s16.oga", "Ogg Flac Title", nullptr, nullptr, nullptr, 0},
      {kVorbis, "s16.ogg", "Ogg Title", "Ogg Artist", "Ogg Album", "Jazz", 2017},
      {kMp3, "s16.mp3", "Mp3 Title", "Mp3 Artist", "Mp3 Album", "Rock", 2018},
      {kMp3, "m22.mp3", "V1 Title", "V1 Artist", nullptr, nullptr, 0},
  };
  auto same = [](const char* got, const char* want) {
    return want ? got && std::string(got) == want : got == nullptr;
  };
  for (const TagCase& c : cases) {
    SCOPED_TRACE(c.file);
    com_ptr<IUnknown> source = Open(c.dll, Fixture(c.file));
    ASSERT_TRUE(source);
    com_ptr<tb::ITagInfo> tags = Query<tb::ITagInfo>(source.get());
    ASSERT_TRUE(tags);
    EXPECT_TRUE(same(tags->GetTitle(), c.title)) << tags->GetTitle();
    EXPECT_TRUE(same(tags->GetArtist(), c.artist));
    EXPECT_TRUE(same(tags->GetAlbum(), c.album));
    EXPECT_TRUE(same(tags->GetGenre(), c.genre));
    EXPECT_EQ(tags->GetYear(), c.year);
    tags.reset();
    EXPECT_TRUE(ReleaseLast(source));
  }
}

TEST(codec_decoder_test, flac_cue_sheet_tracks_are_cue_points) {
  com_ptr<IUnknown> source = Open(kFlac, Fixture("cue.flac"));
  ASSERT_TRUE(source);
  com_ptr<tb::ISampleQuery> cues = Query<tb::ISampleQuery>(source.get());
  ASSERT_EQ(cues->QueryCount(), 2);
  EXPECT_EQ(cues->QuerySamplePosition(0), 0);
  EXPECT_EQ(cues->QuerySamplePosition(1), 88200);  // index 1 of track 2, at 2 s
  EXPECT_EQ(cues->QuerySamplePosition(2), -1);
  cues.reset();
  EXPECT_TRUE(ReleaseLast(source));
}

TEST(codec_decoder_test, damaged_files_fail_with_a_clear_error) {
  // Damage found at open: the file is the decoder's own, so the search ends there.
  com_ptr<tb::IError> error;
  EXPECT_FALSE(Open(kFlac, Fixture("short.flac"), &error));
  ASSERT_TRUE(error);
  EXPECT_TRUE(IsError(error.get(), tb::result::BadFormat, "damaged FLAC file"));
  EXPECT_EQ(Query<tb::IErrorVerdict>(error.get())->GetVerdict(), tb::kVerdictFinal);

  // Damage found while reading: a failed Read with the reason, never made-up audio.
  for (const auto& c : {std::make_pair(kFlac, "bad.flac"), std::make_pair(kVorbis, "bad.ogg")}) {
    SCOPED_TRACE(c.second);
    com_ptr<IUnknown> source = Open(c.first, Fixture(c.second));
    ASSERT_TRUE(source);
    com_ptr<tb::ISourceData> data = Query<tb::ISourceData>(source.get());
    std::vector<uint8_t> block(1 << 16);
    uint32_t got = 0;
    int32_t status = 0;
    com_ptr<tb::IError> readError;
    bool failed = false;
    for (int i = 0; i < 1000 && !failed; ++i) {
      failed = !data->Read(block.data(), static_cast<uint32_t>(block.size()), &got, &status,
                           readError.put());
      if (!failed && got == 0) break;
    }
    EXPECT_TRUE(failed) << "the damage went unnoticed";
    ASSERT_TRUE(readError);
    EXPECT_TRUE(IsError(readError.get(), tb::result::BadFormat, "damaged"));
    data.reset();
    EXPECT_TRUE(ReleaseLast(source));
  }
}

// The length comes from the LAME header only while the file's size bears it out: a file
// cut short, or one with more after its stream, announces what it delivers.
TEST(codec_decoder_test, mp3_length_is_what_a_changed_file_delivers) {
  const std::string whole = FileBytes(Fixture("s16.mp3"));
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\changed.mp3";
  for (const std::string& changed :
       {whole.substr(0, whole.size() - 5000), whole + std::string(3000, '\x55')}) {
    ASSERT_TRUE(WriteFileBytes(path, changed));
    com_ptr<IUnknown> source = Open(kMp3, path);
    ASSERT_TRUE(source);
    std::vector<uint8_t> pcm;
    ASSERT_TRUE(ReadAll(source.get(), 60000, &pcm));
    com_ptr<tb::ISourcePosition> position = Query<tb::ISourcePosition>(source.get());
    EXPECT_EQ(position->GetLength(), pcm.size() / 6) << changed.size() << " bytes";
    position.reset();
    EXPECT_TRUE(ReleaseLast(source));
  }
}

TEST(codec_decoder_test, wave_floats_beyond_full_scale_are_clipped_and_reported) {
  WaveLayout layout;
  layout.bits = 32;
  layout.channels = 1;
  layout.formatTag = 3;
  for (float v : {0.25f, 2.0f, -3.0f, 1.0f}) {
    const auto* p = reinterpret_cast<const uint8_t*>(&v);
    layout.samples.insert(layout.samples.end(), p, p + 4);
  }
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\loud.wav";
  ASSERT_TRUE(WriteFileBytes(path, BuildWave(layout)));
  com_ptr<IUnknown> source = Open(kWave, path);
  ASSERT_TRUE(source);
  com_ptr<tb::IError> report = Query<tb::IError>(source.get());
  ASSERT_TRUE(report);
  EXPECT_STREQ(report->GetMessage(), "");

  com_ptr<tb::ISourceData> data = Query<tb::ISourceData>(source.get());
  uint8_t pcm[12] = {};
  uint32_t got = 0;
  int32_t status = 0;
  ASSERT_TRUE(data->Read(pcm, sizeof pcm, &got, &status, nullptr));
  EXPECT_EQ(got, 12u);
  EXPECT_EQ(status, 1);  // clipped
  EXPECT_EQ(Sample(pcm, 24), 0x200000);
  EXPECT_EQ(Sample(pcm + 3, 24), 0x7FFFFF);
  EXPECT_EQ(Sample(pcm + 6, 24), -0x800000);
  EXPECT_EQ(Sample(pcm + 9, 24), 0x7FFFFF);
  EXPECT_NE(std::string(report->GetMessage()).find("2 samples"), std::string::npos)
      << report->GetMessage();
  report.reset();
  data.reset();
  EXPECT_TRUE(ReleaseLast(source));
}

TEST(codec_decoder_test, other_formats_are_left_to_other_decoders) {
  // Each decoder is offered the others' files (and a WAVE file): no verdict, so the
  // library goes on to the next decoder.
  const std::pair<const char*, const char*> cases[] = {
      {kFlac, "s16.mp3"}, {kFlac, "s16.ogg"}, {kVorbis, "s16.oga"}, {kVorbis, "s16.flac"},
      {kMp3, "s16.flac"}, {kMp3, "s16.wav"},  {kMp3, "s16.ogg"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " " + c.second);
    com_ptr<tb::IError> error;
    EXPECT_FALSE(Open(c.first, Fixture(c.second), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->GetCode(), tb::result::BadFormat);
    EXPECT_EQ(Query<tb::IErrorVerdict>(error.get())->GetVerdict(), 0);
  }
}

TEST(codec_decoder_test, components_list_their_extensions) {
  const std::pair<const char*, const char*> cases[] = {
      {kFlac, "flac"}, {kVorbis, "ogg"}, {kMp3, "mp3"}};
  for (const auto& c : cases) {
    com_ptr<tb::IComponent> component = PrimaryObject(c.first);
    ASSERT_TRUE(component);
    EXPECT_EQ(component->GetKind(), tb::kKindDecoder);
    com_ptr<tb::IExtensionList> list = Query<tb::IExtensionList>(component.get());
    ASSERT_TRUE(list);
    EXPECT_STREQ(list->GetExtension(0), c.second);
    EXPECT_EQ(list->GetExtension(list->GetCount()), nullptr);
    list.reset();
    EXPECT_TRUE(ReleaseLast(component));
  }
}

TEST(codec_decoder_test, file_reader_reads_at_any_offset_in_any_order) {
  tbtest::TempFolder folder;
  std::string bytes(100000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  ASSERT_TRUE(folder.Write("data.bin", bytes));
  tb::unique_hfile file(CreateFileA((folder.path() + "\\data.bin").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file);
  tb::plugin::FileReader reader(file.get());
  EXPECT_EQ(reader.Size(), bytes.size());
  // Backwards, overlapping, and across the end: each read starts where it says.
  struct Case {
    uint64_t offset;
    size_t size;
    size_t expected;
  };
  const Case cases[] = {{90000, 20000, 10000}, {1000, 5000, 5000},  {0, 3000, 3000}, {99999, 10, 1},
                        {100000, 10, 0},       {1ull << 40, 10, 0}, {~0ull, 10, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    std::string got(c.size, '\x5a');
    EXPECT_EQ(reader.ReadAt(c.offset, &got[0], c.size), c.expected);
    EXPECT_EQ(reader.last_error(), 0u);
    EXPECT_EQ(got.substr(0, c.expected),
              bytes.substr(std::min<size_t>(c.offset, bytes.size()), c.expected));
  }
}

TEST(codec_decoder_test, created_files_are_new_or_replace_the_old_one) {
  tbtest::TempFolder folder;
  const std::string fresh = folder.path() + "\\fresh.bin";
  const std::string old = folder.path() + "\\old.bin";
  ASSERT_TRUE(folder.Write("old.bin", std::string(5000, 'x')));
  for (const std::string& path : {fresh, old}) {
    SCOPED_TRACE(path);
    com_ptr<tb::IError> error;
    tb::unique_hfile file =
        tb::plugin::CreateFileReporting(path, GENERIC_WRITE, FILE_SHARE_READ, error.put());
    ASSERT_TRUE(file);
    EXPECT_FALSE(error);
    EXPECT_EQ(GetFileSize(file.get(), nullptr), 0u);
  }
  com_ptr<tb::IError> error;
  EXPECT_FALSE(tb::plugin::CreateFileReporting(folder.path() + "\\missing\\x.bin", GENERIC_WRITE, 0,
                                               error.put()));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->GetCode(), tb::result::OpenFailed);
  EXPECT_EQ(std::string(error->GetMessage()).rfind("cannot create ", 0), 0u);
}

}  // namespace
}  // namespace reftest
