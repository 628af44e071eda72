// The WAVE decoder (zqwave.dll) loaded as the manager loads it, through its entry
// points: its component tables, its source objects, and what it does with bad files.
#include <gtest/gtest.h>
#include <tunebay/tunebay.h>
#include <windows.h>

#include <random>

#include "plugins/reference_test/reference_support.h"
#include "support/test_support.h"

namespace reftest {
namespace {

// A proxy stand-in for Attach: counts every call, so a test sees that the source never
// turns to it.
class CountingOuter final : public IUnknown {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID, void** out) noexcept override {
    ++calls;
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return ++calls, 1; }
  ULONG TB_STDCALL Release() noexcept override { return ++calls, 1; }
  int calls = 0;
};

// An outer object that counts on the inner object's own count, as the library's proxy
// does, and counts the calls that the object forwards to it.
class ForwardingOuter final : public IUnknown {
 public:
  explicit ForwardingOuter(tb::ILifetime* inner) : inner_(inner) {}
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    ++calls;
    return inner_->InnerQueryInterface(iid, out);
  }
  ULONG TB_STDCALL AddRef() noexcept override { return ++calls, inner_->InnerAddRef(); }
  ULONG TB_STDCALL Release() noexcept override { return ++calls, inner_->InnerRelease(); }
  int calls = 0;

 private:
  tb::ILifetime* inner_;
};

WaveLayout Layout(int32_t bits, int32_t channels, size_t frames, uint32_t seed) {
  WaveLayout layout;
  layout.bits = bits;
  layout.channels = channels;
  layout.samples = RandomBytes(frames * channels * (bits / 8), seed);
  return layout;
}

int32_t VerdictOf(tb::IError* error) {
  com_ptr<tb::IErrorVerdict> verdict = Query<tb::IErrorVerdict>(error);
  return verdict ? verdict->GetVerdict() : -1;
}

TEST(wave_decoder_test, component_offers_decoder_tables) {
  com_ptr<tb::IComponent> decoder = PrimaryObject(kDecoderDll);
  ASSERT_TRUE(decoder);
  EXPECT_STREQ(decoder->GetName(), "WAVE decoder");
  EXPECT_EQ(decoder->GetKind(), tb::kKindDecoder);
  EXPECT_TRUE(decoder->Setup(nullptr, nullptr));

  com_ptr<tb::IExtensionList> extensions = Query<tb::IExtensionList>(decoder.get());
  ASSERT_TRUE(extensions);
  ASSERT_EQ(extensions->GetCount(), 2);
  EXPECT_STREQ(extensions->GetExtension(0), "wav");
  EXPECT_STREQ(extensions->GetExtension(1), "wave");
  EXPECT_EQ(extensions->GetExtension(2), nullptr);
  EXPECT_EQ(extensions->GetExtension(-1), nullptr);
  extensions.reset();

  {
    Opener opener(decoder.get());
    ASSERT_TRUE(opener);
    EXPECT_EQ(opener->GetFeatureMask() & tb::kOpenWithProxy, tb::kOpenWithProxy);
    EXPECT_EQ(tb::opener_unknown(opener.get())->GetCapabilities() & 1, 1u);
    EXPECT_TRUE(tbtest::ExpectRefCount(decoder.get(), 2));
  }
  EXPECT_TRUE(tbtest::ExpectRefCount(decoder.get(), 1));

  com_ptr<tb::IComponentIdentity> identity = Query<tb::IComponentIdentity>(decoder.get());
  ASSERT_TRUE(identity);
  GUID id = {}, zero = {};
  EXPECT_TRUE(identity->GetClassId(&id));
  EXPECT_FALSE(IsEqualGUID(id, zero));
  EXPECT_FALSE(identity->GetClassId(nullptr));
  identity.reset();

  com_ptr<tb::IComponentAbout> about = Query<tb::IComponentAbout>(decoder.get());
  ASSERT_TRUE(about);
  EXPECT_NE(about->GetVendor(), nullptr);
  EXPECT_FALSE(about->HasAboutBox());
  about.reset();

  void* face = &face;
  EXPECT_EQ(decoder->QueryInterface(tb::iid_of<tb::IConvertor>(), &face), E_NOINTERFACE);
  EXPECT_EQ(face, nullptr);
  EXPECT_EQ(decoder->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  decoder->Shutdown();
  EXPECT_TRUE(ReleaseLast(decoder));
}

TEST(wave_source_test, reads_every_sample_size_and_channel_count_exactly) {
  tbtest::TempFolder folder;
  uint32_t seed = 1;
  for (bool extensible : {false, true}) {
    for (int32_t bits : {8, 16, 24, 32}) {
      for (int32_t channels : {1, 2, 3, 6}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " channels"
                                        << (extensible ? ", extensible" : ""));
        WaveLayout layout = Layout(bits, channels, 1001, ++seed);
        layout.rate = 22050 + static_cast<int32_t>(seed);
        layout.extensible = extensible;
        const std::string path = folder.path() + "\\tone.wav";
        ASSERT_TRUE(WriteFileBytes(path, BuildWave(layout)));

        com_ptr<IUnknown> source = OpenWave(path);
        ASSERT_TRUE(source);
        com_ptr<tb::ISourceData> data = Query<tb::ISourceData>(source.get());
        com_ptr<tb::ISourcePosition> position = Query<tb::ISourcePosition>(source.get());
        ASSERT_TRUE(data && position);
        tb::AudioFormat scratch = {};
        const tb::AudioFormat* format = data->GetFormat(&scratch);
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(format->sampleRate, layout.rate);
        EXPECT_EQ(format->bitsPerSample, bits);
        EXPECT_EQ(format->channels, channels);
        const uint32_t align = static_cast<uint32_t>(channels * bits / 8);
        EXPECT_EQ(position->GetBlockAlign(), align);
        EXPECT_EQ(position->GetLength(), 1001u);
        EXPECT_EQ(data->GetDataSize(), layout.samples.size());

        std::vector<uint8_t> read;
        // 1000 bytes is not a whole number of frames for most of these formats.
        ASSERT_TRUE(ReadAll(source.get(), 1000, &read));
        EXPECT_TRUE(read == layout.samples);
        EXPECT_EQ(position->GetPosition(), position->GetLength());
        data.reset();
        position.reset();
        EXPECT_TRUE(ReleaseLast(source));
      }
    }
  }
}

TEST(wave_source_test, read_checks_its_buffer_and_ends_with_true_and_no_bytes) {
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\a.wav";
  WaveLayout layout = Layout(24, 2, 10, 7);
  ASSERT_TRUE(WriteFileBytes(path, BuildWave(layout)));
  com_ptr<IUnknown> source = OpenWave(path);
  ASSERT_TRUE(source);
  com_ptr<tb::ISourceData> data = Query<tb::ISourceData>(source.get());
  uint8_t buffer[64];
  uint32_t length = 99;
  int32_t status = 5;
  com_ptr<tb::IError> error;

  EXPECT_FALSE(data->Read(buffer, 5, &length, &status, error.put()));
  EXPECT_TRUE(IsError(error.get(), tb::result::InsufficientBuffer, "one frame of 6 bytes"));
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(data->Read(nullptr, 64, &length, &status, error.put()));
  EXPECT_TRUE(IsError(error.get(), tb::result::InvalidParameter, "buffer"));
  EXPECT_FALSE(data->Read(buffer, 64, nullptr, &status, nullptr));

  // 64 bytes hold ten whole frames of six; the rest of the buffer stays untouched.
  std::memset(buffer, 0xEE, sizeof buffer);
  ASSERT_TRUE(data->Read(buffer, 64, &length, nullptr, nullptr));
  EXPECT_EQ(length, 60u);
  EXPECT_EQ(0, std::memcmp(buffer, layout.samples.data(), 60));
  EXPECT_EQ(buffer[60], 0xEE);
  for (int i = 0; i < 2; ++i) {
    length = 99;
    EXPECT_TRUE(data->Read(buffer, 64, &length, &status, nullptr));
    EXPECT_EQ(length, 0u);
  }
  // At the end even a small buffer is not an error: there is nothing to deliver.
  EXPECT_TRUE(data->Read(buffer, 1, &length, &status, nullptr));
  EXPECT_EQ(length, 0u);
  error.reset();
  data.reset();
  EXPECT_TRUE(ReleaseLast(source));
}

// A data chunk that declares more than the file holds: the header's length is announced,
// what is there is read, and the position stops short of the length. A stream's
// "unknown" size announces what is there.
TEST(wave_source_test, a_file_cut_short_announces_its_header_length) {
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\cut.wav";
  const WaveLayout layout = Layout(16, 2, 100, 3);
  for (const uint32_t declared : {800u, 0xFFFFFFFFu}) {
    std::string bytes = BuildWave(layout);
    const size_t data = bytes.find("data");
    ASSERT_NE(data, std::string::npos);
    Put32(&bytes, data + 4, declared);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    com_ptr<IUnknown> source = OpenWave(path);
    ASSERT_TRUE(source);
    com_ptr<tb::ISourcePosition> position = Query<tb::ISourcePosition>(source.get());
    EXPECT_EQ(position->GetLength(), declared == 800u ? 200u : 100u);
    std::vector<uint8_t> read;
    EXPECT_TRUE(ReadAll(source.get(), 64, &read));
    EXPECT_EQ(read.size(), 400u);
    EXPECT_EQ(position->GetPosition(), 100u);
    position.reset();
    EXPECT_TRUE(ReleaseLast(source));
  }
}

TEST(wave_source_test, tags_come_from_the_info_list) {
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\tagged.wav";
  WaveLayout layout = Layout(16, 2, 100, 3);
  layout.info = {{"INAM", "Blue Tune"}, {"IART", "The Players  "}, {"IPRD", "Album"},
                 {"IGNR", "Jazz"},      {"ICRD", "1987-06-05"},    {"ICMT", "ignored"}};
  ASSERT_TRUE(WriteFileBytes(path, BuildWave(layout)));
  com_ptr<IUnknown> source = OpenWave(path);
  ASSERT_TRUE(source);
  com_ptr<tb::ITagInfo> tags = Query<tb::ITagInfo>(source.get());
  ASSERT_TRUE(tags);
  EXPECT_STREQ(tags->GetTitle(), "Blue Tune");
  EXPECT_STREQ(tags->GetArtist(), "The Players");
  EXPECT_STREQ(tags->GetAlbum(), "Album");
  EXPECT_STREQ(tags->GetGenre(), "Jazz");
  EXPECT_EQ(tags->GetYear(), 1987);
  tags.reset();
  EXPECT_TRUE(ReleaseLast(source));

  // Absent and empty tags are null; a date without leading digits has no year.
  layout.info = {{"INAM", ""}, {"ICRD", "spring"}};
  ASSERT_TRUE(WriteFileBytes(path, BuildWave(layout)));
  source = OpenWave(path);
  ASSERT_TRUE(source);
  tags = Query<tb::ITagInfo>(source.get());
  EXPECT_EQ(tags->GetTitle(), nullptr);
  EXPECT_EQ(tags->GetArtist(), nullptr);
  EXPECT_EQ(tags->GetAlbum(), nullptr);
  EXPECT_EQ(tags->GetGenre(), nullptr);
  EXPECT_EQ(tags->GetYear(), 0);
  tags.reset();
  EXPECT_TRUE(ReleaseLast(source));
}

TEST(wave_source_test, cue_points_answer_the_sample_query) {
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\cues.wav";
  WaveLayout layout = Layout(16, 1, 5000, 4);
  layout.cues = {0, 100, 4410};
  ASSERT_TRUE(WriteFileBytes(path, BuildWave(layout)));
  com_ptr<IUnknown> source = OpenWave(path);
  ASSERT_TRUE(source);
  com_ptr<tb::ISampleQuery> query = Query<tb::ISampleQuery>(source.get());
  ASSERT_TRUE(query);
  ASSERT_EQ(query->QueryCount(), 3);
  EXPECT_EQ(query->QuerySamplePosition(0), 0);
  EXPECT_EQ(query->QuerySamplePosition(1), 100);
  EXPECT_EQ(query->QuerySamplePosition(2), 4410);
  EXPECT_EQ(query->QuerySamplePosition(3), -1);
  EXPECT_EQ(query->QuerySamplePosition(-1), -1);
  query.reset();
  EXPECT_TRUE(ReleaseLast(source));

  layout.cues.clear();
  ASSERT_TRUE(WriteFileBytes(path, BuildWave(layout)));
  source = OpenWave(path);
  query = Query<tb::ISampleQuery>(source.get());
  ASSERT_TRUE(query);
  EXPECT_EQ(query->QueryCount(), 0);
  EXPECT_EQ(query->QuerySamplePosition(0), -1);
  query.reset();
  EXPECT_TRUE(ReleaseLast(source));
}

TEST(wave_source_test, seek_moves_the_read_position_in_frames) {
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\seek.wav";
  WaveLayout layout = Layout(16, 2, 1000, 5);
  ASSERT_TRUE(WriteFileBytes(path, BuildWave(layout)));
  com_ptr<IUnknown> source = OpenWave(path);
  ASSERT_TRUE(source);
  com_ptr<tb::ISourceSeek> seek = Query<tb::ISourceSeek>(source.get());
  com_ptr<tb::ISourcePosition> position = Query<tb::ISourcePosition>(source.get());
  com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(source.get());
  ASSERT_TRUE(seek && position && control);

  ASSERT_TRUE(seek->Seek(600, 0));
  EXPECT_EQ(position->GetPosition(), 600u);
  // Start and Stop leave the position alone.
  EXPECT_TRUE(control->Start(0));
  EXPECT_EQ(control->GetState(), 1u);
  EXPECT_EQ(position->GetPosition(), 600u);
  std::vector<uint8_t> rest;
  ASSERT_TRUE(ReadAll(source.get(), 4096, &rest));
  EXPECT_TRUE(rest == std::vector<uint8_t>(layout.samples.begin() + 600 * 4, layout.samples.end()));
  EXPECT_TRUE(control->Stop(0));
  EXPECT_EQ(control->GetState(), 0u);

  // Past the end: at the end, nothing more to read.
  EXPECT_TRUE(seek->Seek(0x100000000ull, 0));
  EXPECT_EQ(position->GetPosition(), 1000u);
  rest.clear();
  ASSERT_TRUE(ReadAll(source.get(), 4096, &rest));
  EXPECT_TRUE(rest.empty());

  ASSERT_TRUE(seek->Seek(0, 0));
  rest.clear();
  ASSERT_TRUE(ReadAll(source.get(), 4096, &rest));
  EXPECT_TRUE(rest == layout.samples);
  seek.reset();
  position.reset();
  control.reset();
  EXPECT_TRUE(ReleaseLast(source));
}

TEST(wave_source_test, file_info_gives_size_and_path) {
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\info.wav";
  const std::string bytes = BuildWave(Layout(8, 1, 333, 6));
  ASSERT_TRUE(WriteFileBytes(path, bytes));
  com_ptr<IUnknown> source = OpenWave(path);
  com_ptr<tb::IFileInfo> info = Query<tb::IFileInfo>(source.get());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->GetFileSize(), bytes.size());
  EXPECT_EQ(info->GetFilePath(), path);
  info.reset();
  EXPECT_TRUE(ReleaseLast(source));
}

// The way the library's source proxy holds a source: its own eight references taken by
// QueryInterface, then Attach; the host's reference counted through InnerRelease, and
// every interface's AddRef and Release forwarded to the outer object after Attach.
TEST(wave_source_test, lifetime_shares_one_count_with_the_proxy) {
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\life.wav";
  ASSERT_TRUE(WriteFileBytes(path, BuildWave(Layout(16, 2, 10, 8))));
  com_ptr<IUnknown> host = OpenWave(path);
  ASSERT_TRUE(host);
  IUnknown* object = host.get();
  com_ptr<tb::ILifetime> lifetime = Query<tb::ILifetime>(object);
  com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(object);
  com_ptr<tb::ISourceData> data = Query<tb::ISourceData>(object);
  com_ptr<tb::ISourcePosition> position = Query<tb::ISourcePosition>(object);
  com_ptr<IUnknown> itself(object);
  com_ptr<tb::ITagInfo> tags = Query<tb::ITagInfo>(object);
  com_ptr<tb::ISourceSeek> seek = Query<tb::ISourceSeek>(object);
  com_ptr<tb::ISampleQuery> cues = Query<tb::ISampleQuery>(object);
  ASSERT_TRUE(lifetime && control && data && position && tags && seek && cues);

  ForwardingOuter outer(lifetime.get());
  CountingOuter other;
  EXPECT_TRUE(lifetime->Attach(&outer));
  EXPECT_TRUE(lifetime->Attach(&outer));
  EXPECT_FALSE(lifetime->Attach(&other));
  EXPECT_FALSE(lifetime->Attach(nullptr));

  EXPECT_EQ(lifetime->InnerAddRef(), 10u);
  EXPECT_EQ(lifetime->InnerRelease(), 9u);
  void* face = nullptr;
  ASSERT_EQ(lifetime->InnerQueryInterface(tb::iid_of<tb::IFileInfo>(), &face), S_OK);
  // Once attached, every interface's Release goes to the outer object (classic
  // aggregation), which here counts on the object's own count as the proxy does.
  EXPECT_EQ(static_cast<IUnknown*>(face)->Release(), 9u);
  EXPECT_EQ(outer.calls, 2);  // the AddRef of the query and this Release
  // The host lets go: only the proxy's eight references remain, which the proxy sees.
  EXPECT_EQ(lifetime->InnerRelease(), 8u);
  host.detach();
  // The proxy then gives its own references up; they come back through the outer.
  tags.reset();
  seek.reset();
  cues.reset();
  itself.reset();
  control.reset();
  data.reset();
  position.reset();
  EXPECT_TRUE(ReleaseLast(lifetime));
  EXPECT_EQ(outer.calls, 10);
  EXPECT_EQ(other.calls, 0);
  EXPECT_TRUE(ReadyToFinish(kDecoderDll));
}

struct BadFile {
  const char* name;
  std::string bytes;
  uint32_t code;
  const char* text;
  int32_t verdict;
};

std::vector<BadFile> BadFiles() {
  std::vector<BadFile> files;
  const std::string good = BuildWave(Layout(16, 2, 100, 9));
  files.push_back({"empty", "", tb::result::BadFormat, "not a WAVE file", 0});
  files.push_back(
      {"not riff", "ID3\x03" + std::string(200, 'x'), tb::result::BadFormat, "not a WAVE file", 0});
  files.push_back({"riff of another form",
                   std::string("RIFF\x10\0\0\0AVI ", 12) + std::string(16, '\0'),
                   tb::result::BadFormat, "not a WAVE file", 0});
  std::string zeroChannels = good;
  zeroChannels[12 + 8 + 2] = 0;  // fmt body, channels field
  files.push_back({"zero channels", zeroChannels, tb::result::BadFormat, "zero channels", 1});
  files.push_back(
      {"truncated fmt", good.substr(0, 12 + 8 + 10), tb::result::BadFormat, "truncated", 1});
  std::string absurd = good;
  Put32(&absurd, 12 + 4, 0x7FFFFFF0);  // the fmt chunk's size
  files.push_back({"absurd fmt size", absurd, tb::result::BadFormat, "damaged WAVE file", 1});
  WaveLayout halfFloats = Layout(16, 2, 10, 10);
  halfFloats.formatTag = 3;
  files.push_back(
      {"16-bit floating point", BuildWave(halfFloats), tb::result::BadFormat, "cannot read", 0});
  WaveLayout twelve = Layout(16, 1, 10, 11);
  std::string twelveBits = BuildWave(twelve);
  twelveBits[12 + 8 + 14] = 12;  // bits per sample
  files.push_back({"12-bit", twelveBits, tb::result::BadFormat, "12-bit", 0});
  WaveLayout overrun = Layout(16, 2, 10, 12);
  overrun.info = {{"INAM", "x"}};
  std::string overrunBytes = BuildWave(overrun);
  const size_t item = overrunBytes.find("INAM");
  Put32(&overrunBytes, item + 4, 1000);
  files.push_back({"info item overrun", overrunBytes, tb::result::BadFormat, "overruns", 1});
  return files;
}

TEST(wave_decoder_test, malformed_files_are_refused_with_clear_errors) {
  tbtest::TempFolder folder;
  for (const BadFile& file : BadFiles()) {
    SCOPED_TRACE(file.name);
    const std::string path = folder.path() + "\\bad.wav";
    ASSERT_TRUE(WriteFileBytes(path, file.bytes));
    com_ptr<tb::IComponent> decoder = PrimaryObject(kDecoderDll);
    Opener opener(decoder.get());
    IUnknown* source = reinterpret_cast<IUnknown*>(&folder);  // must be overwritten
    com_ptr<tb::IError> error;
    EXPECT_FALSE(opener->Open(path.c_str(), &source, tb::kOpenWithProxy, 0, error.put()));
    EXPECT_EQ(source, nullptr);
    EXPECT_TRUE(IsError(error.get(), file.code, file.text));
    if (error) {
      EXPECT_NE(std::string(error->GetMessage()).find(path), std::string::npos);
    }
    EXPECT_EQ(VerdictOf(error.get()), file.verdict);
    if (error) {
      EXPECT_TRUE(ReleaseLast(error));
    }
    // Without an error slot the refusal is the same, and no error object is made.
    EXPECT_FALSE(opener->Open(path.c_str(), &source, 0, 0, nullptr));
  }
  EXPECT_TRUE(ReadyToFinish(kDecoderDll));
}

TEST(wave_decoder_test, open_reports_missing_files_and_bad_arguments) {
  tbtest::TempFolder folder;
  com_ptr<tb::IComponent> decoder = PrimaryObject(kDecoderDll);
  {
    Opener opener(decoder.get());
    ASSERT_TRUE(opener);
    IUnknown* source = nullptr;
    com_ptr<tb::IError> error;

    const std::string missing = folder.path() + "\\missing.wav";
    EXPECT_FALSE(opener->Open(missing.c_str(), &source, 0, 0, error.put()));
    ASSERT_TRUE(IsError(error.get(), tb::result::OpenFailed, "missing.wav"));
    EXPECT_EQ(error->GetSystemError(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(VerdictOf(error.get()), 0);

    EXPECT_FALSE(opener->Open(nullptr, &source, 0, 0, error.put()));
    EXPECT_TRUE(IsError(error.get(), tb::result::InvalidParameter, "file name"));
    EXPECT_FALSE(opener->Open("", &source, 0, 0, error.put()));
    EXPECT_TRUE(IsError(error.get(), tb::result::InvalidParameter, "file name"));
    EXPECT_FALSE(opener->Open(missing.c_str(), nullptr, 0, 0, error.put()));
    EXPECT_TRUE(IsError(error.get(), tb::result::InvalidParameter, "slot"));

    // Masks the decoder does not satisfy are refused before the file is touched.
    const std::string path = folder.path() + "\\ok.wav";
    ASSERT_TRUE(WriteFileBytes(path, BuildWave(Layout(16, 2, 10, 13))));
    EXPECT_FALSE(opener->Open(path.c_str(), &source, tb::kOpenWithProxy | 0x2, 0, error.put()));
    EXPECT_TRUE(IsError(error.get(), tb::result::CallNotImplemented, "features"));
    EXPECT_FALSE(opener->Open(path.c_str(), &source, 0, tb::kOpenWithProxy, error.put()));
    EXPECT_EQ(source, nullptr);
    EXPECT_TRUE(ReleaseLast(error));
  }
  EXPECT_TRUE(ReadyToFinish(kDecoderDll));
  EXPECT_TRUE(ReleaseLast(decoder));
}

// Damaged copies of a file with every kind of chunk: whatever the damage, Open either
// refuses with an error or gives a source whose reads stay inside the data it claims.
TEST(wave_decoder_test, randomly_damaged_files_never_read_out_of_bounds) {
  tbtest::TempFolder folder;
  WaveLayout layout = Layout(24, 2, 300, 14);
  layout.info = {{"INAM", "Title"}, {"IART", "Artist"}, {"ICRD", "2001"}};
  layout.cues = {1, 2, 250};
  const std::string good = BuildWave(layout);
  const std::string path = folder.path() + "\\damaged.wav";
  std::mt19937 random(2024);
  int opened = 0, refused = 0;
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    std::string bytes = good;
    const size_t header = good.size() - layout.samples.size();
    switch (random() % 4) {
      case 0:  // a few bytes of the header changed
        for (int n = 1 + random() % 6; n > 0; --n) {
          bytes[random() % header] = static_cast<char>(random());
        }
        break;
      case 1:  // cut short anywhere
        bytes.resize(random() % bytes.size());
        break;
      case 2:  // a size field of some chunk made huge or tiny
        Put32(&bytes, 4 + 4 * (random() % (header / 4 - 1)),
              random() % 2 ? 0xFFFFFFFFu - random() % 16 : random() % 64);
        break;
      default:  // anything anywhere, then cut
        for (int n = 1 + random() % 20; n > 0; --n) {
          bytes[random() % bytes.size()] = static_cast<char>(random());
        }
        bytes.resize(bytes.size() - random() % 64);
        break;
    }
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    com_ptr<tb::IError> error;
    com_ptr<IUnknown> source = OpenWave(path, &error);
    if (!source) {
      ++refused;
      ASSERT_TRUE(error);
      EXPECT_FALSE(std::string(error->GetMessage()).empty());
      EXPECT_TRUE(ReleaseLast(error));
      continue;
    }
    ++opened;
    EXPECT_FALSE(error);
    com_ptr<tb::ISourceData> data = Query<tb::ISourceData>(source.get());
    com_ptr<tb::ISourcePosition> position = Query<tb::ISourcePosition>(source.get());
    com_ptr<tb::ITagInfo> tags = Query<tb::ITagInfo>(source.get());
    com_ptr<tb::ISampleQuery> cues = Query<tb::ISampleQuery>(source.get());
    if (tags->GetTitle()) {
      EXPECT_LE(std::strlen(tags->GetTitle()), bytes.size());
    }
    for (int32_t i = 0; i <= cues->QueryCount(); ++i) cues->QuerySamplePosition(i);
    const uint64_t claimed = data->GetDataSize();
    EXPECT_LE(claimed, bytes.size());
    // A file cut short announces more than it holds, never less.
    EXPECT_LE(claimed, position->GetLength() * position->GetBlockAlign());
    std::vector<uint8_t> read;
    const auto chunk = static_cast<uint32_t>(1 + random() % 3000 + position->GetBlockAlign());
    EXPECT_TRUE(ReadAll(source.get(), chunk, &read));
    EXPECT_EQ(read.size(), claimed);
    EXPECT_EQ(position->GetPosition() * position->GetBlockAlign(), claimed);
    data.reset();
    position.reset();
    tags.reset();
    cues.reset();
    EXPECT_TRUE(ReleaseLast(source));
  }
  // Both outcomes must have been exercised for the test to mean anything.
  EXPECT_GT(opened, 20);
  EXPECT_GT(refused, 20);
  EXPECT_TRUE(ReadyToFinish(kDecoderDll));
}

TEST(wave_decoder_test, ready_to_finish_waits_for_every_object_of_the_library) {
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\r.wav";
  ASSERT_TRUE(WriteFileBytes(path, BuildWave(Layout(16, 2, 10, 15))));
  com_ptr<tb::IComponent> decoder = PrimaryObject(kDecoderDll);
  EXPECT_TRUE(ReadyToFinish(kDecoderDll));  // the catalogue's own reference
  {
    com_ptr<tb::IComponent> second(decoder.get());
    EXPECT_FALSE(ReadyToFinish(kDecoderDll));
  }
  EXPECT_TRUE(ReadyToFinish(kDecoderDll));

  com_ptr<IUnknown> source = OpenWave(path);
  ASSERT_TRUE(source);
  EXPECT_FALSE(ReadyToFinish(kDecoderDll));
  EXPECT_TRUE(ReleaseLast(source));

  com_ptr<tb::IError> error;
  EXPECT_FALSE(OpenWave(folder.path() + "\\none.wav", &error));
  ASSERT_TRUE(error);
  EXPECT_FALSE(ReadyToFinish(kDecoderDll));
  EXPECT_TRUE(ReleaseLast(error));
  EXPECT_TRUE(ReadyToFinish(kDecoderDll));
  EXPECT_TRUE(ReleaseLast(decoder));
}

}  // namespace
}  // namespace reftest
