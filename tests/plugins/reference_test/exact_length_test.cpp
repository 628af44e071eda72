// Converted streams have exactly the length they announce, through both proxies, with
// the bundled convertor (which ends its stream through IConversionEnd) and with a
// conversion that cannot be told where its stream ends (fed silence instead): a stream
// of N frames at rate F gives ceil(N x T / F) frames at rate T, and its last frames are
// the real signal, as a conversion of the whole input in one block gives them.
#include <gtest/gtest.h>
#include <tunebay/tunebay.h>
#include <windows.h>

#include <cmath>
#include <cstdlib>

#include "dll/assembly.h"
#include "plugins/pcm/converter.h"
#include "plugins/reference_test/reference_support.h"
#include "support/test_support.h"

namespace reftest {
namespace {

const char* const kRegistryName = "exact_length";
const int32_t kBits = 16;
const int32_t kChannels = 2;
const uint32_t kFrameBytes = 4;

// A conversion of another maker's: the bundled one's work without its end-of-stream.
class PlainConversion final : public tb::IConversion {
 public:
  explicit PlainConversion(com_ptr<tb::IConversion> inner) : inner_(std::move(inner)) {}
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!tb::same_iid(iid, IID_IUnknown)) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return ++count_; }
  ULONG TB_STDCALL Release() noexcept override {
    const ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }
  bool TB_STDCALL Convert(const void* data, uint32_t length, int32_t reserved) noexcept override {
    return inner_->Convert(data, length, reserved);
  }
  int32_t TB_STDCALL GetOutputSize() noexcept override { return inner_->GetOutputSize(); }
  void* TB_STDCALL GetOutputData() noexcept override { return inner_->GetOutputData(); }

 private:
  ULONG count_ = 1;
  com_ptr<tb::IConversion> inner_;
};

class PlainConvertor final : public tb::IConvertor {
 public:
  explicit PlainConvertor(com_ptr<tb::IConvertor> inner) : inner_(std::move(inner)) {}
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!tb::same_iid(iid, IID_IUnknown) && !tb::same_iid(iid, tb::iid_of<tb::IConvertor>())) {
      return E_NOINTERFACE;
    }
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return ++count_; }
  ULONG TB_STDCALL Release() noexcept override {
    const ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }
  bool TB_STDCALL CanConvert(const tb::AudioFormat* from,
                             const tb::AudioFormat* to) noexcept override {
    return inner_->CanConvert(from, to);
  }
  bool TB_STDCALL CreateConversion(const tb::AudioFormat* from, const tb::AudioFormat* to,
                                   tb::IConversion** conversion,
                                   int32_t argument) noexcept override {
    com_ptr<tb::IConversion> made;
    if (!inner_->CreateConversion(from, to, made.put(), argument) || !made) return false;
    *conversion = new PlainConversion(std::move(made));
    return true;
  }

 private:
  ULONG count_ = 1;
  com_ptr<tb::IConvertor> inner_;
};

class FixedSinkCreator final : public tb::ISinkCreator {
 public:
  FixedSinkCreator(tb::ISinkFactory* factory, std::string path, tb::AudioFormat format)
      : factory_(factory), path_(std::move(path)), format_(format) {}
  void TB_STDCALL Unused0() noexcept override {}
  void TB_STDCALL Unused1() noexcept override {}
  bool TB_STDCALL CreateSinkObject(IUnknown** sink, const tb::AudioFormat*,
                                   int32_t) noexcept override {
    return factory_->CreateFileSink(path_.c_str(), &format_, sink, nullptr);
  }

 private:
  tb::ISinkFactory* factory_;
  std::string path_;
  tb::AudioFormat format_;
};

struct RatePair {
  int32_t from, to;
  uint64_t frames;  // input frames
};

// A 16-bit stereo tone a little under half scale, a different pitch on each side.
std::vector<uint8_t> Tone(int32_t rate, uint64_t frames) {
  std::vector<uint8_t> bytes(frames * kFrameBytes);
  for (uint64_t i = 0; i < frames; ++i) {
    for (int c = 0; c < kChannels; ++c) {
      const double hz = c == 0 ? 997.0 : 1499.0;
      const auto v =
          static_cast<int16_t>(std::lround(14000.0 * std::sin(6.283185307179586 * hz * i / rate)));
      bytes[i * kFrameBytes + c * 2] = static_cast<uint8_t>(v & 0xFF);
      bytes[i * kFrameBytes + c * 2 + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    }
  }
  return bytes;
}

// The whole input converted in one block, and its tail.
std::vector<uint8_t> OneBlock(const std::vector<uint8_t>& input, int32_t from, int32_t to) {
  std::string why;
  auto converter =
      tb::pcm::Converter::Create({from, kBits, kChannels}, {to, kBits, kChannels}, &why);
  EXPECT_TRUE(converter) << why;
  if (!converter) return {};
  converter->Convert(input.data(), input.size());
  std::vector<uint8_t> out(converter->data(), converter->data() + converter->size());
  converter->Flush();
  out.insert(out.end(), converter->data(), converter->data() + converter->size());
  return out;
}

// The output has the reference's length, and its last 5 ms are the reference's within a
// few steps of 16 bits (a convertor may dither; silence or a shifted tail is far off).
::testing::AssertionResult SameEnd(const std::vector<uint8_t>& got,
                                   const std::vector<uint8_t>& want, int32_t rate) {
  if (got.size() != want.size()) {
    return ::testing::AssertionFailure()
           << got.size() / kFrameBytes << " frames, wanted " << want.size() / kFrameBytes;
  }
  const size_t samples = static_cast<size_t>(rate) * 5 / 1000 * kChannels;
  const size_t count = std::min(samples, got.size() / 2);
  for (size_t i = got.size() / 2 - count; i < got.size() / 2; ++i) {
    const int a = static_cast<int16_t>(got[2 * i] | got[2 * i + 1] << 8);
    const int b = static_cast<int16_t>(want[2 * i] | want[2 * i + 1] << 8);
    if (std::abs(a - b) > 4) {
      return ::testing::AssertionFailure()
             << "sample " << i << " of " << got.size() / 2 << ": " << a << ", wanted " << b;
    }
  }
  return ::testing::AssertionSuccess();
}

class exact_length_test : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    for (const char* dll : {kDecoderDll, kConvertorDll, kWriterDll}) {
      ASSERT_TRUE(plugins_.CopyIn(tbtest::ExeFolder() + "plugins\\" + dll, dll));
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, settings_.c_str());
    ASSERT_TRUE(tb::GetAssembledManager(&manager_));
    ASSERT_TRUE(manager_->SetPluginFolder(plugins_.path().c_str()));
    com_ptr<tb::IRegistryLocation> location = Query<tb::IRegistryLocation>(manager_);
    ASSERT_TRUE(location);
    EXPECT_TRUE(location->SetKeyName1("TunebayTests", nullptr));
    EXPECT_TRUE(location->SetKeyName2(kRegistryName, nullptr));
    ASSERT_TRUE(manager_->Initialise());
    ASSERT_TRUE(manager_->GetConvertor(bundled_.put()) && bundled_);
    if (GetParam()) {
      // The manager's convertor becomes one whose conversions lack the end.
      PlainConvertor* plain = new PlainConvertor(bundled_);
      EXPECT_TRUE(manager_->SetConvertor(plain, nullptr));
      plain->Release();
    }
    com_ptr<tb::IComponentCollection> catalogue = Query<tb::IComponentCollection>(manager_);
    for (int32_t i = 0; catalogue && i < catalogue->GetCount(); ++i) {
      com_ptr<tb::IComponent> item;
      if (catalogue->GetItem(i, item.put()) && item->GetKind() == tb::kKindEncoder) {
        factory_ = Query<tb::ISinkFactory>(item.get());
      }
    }
    ASSERT_TRUE(factory_);
  }

  void TearDown() override {
    factory_.reset();
    if (manager_) {
      if (bundled_) {
        EXPECT_TRUE(manager_->SetConvertor(bundled_.get(), nullptr));
      }
      bundled_.reset();
      EXPECT_TRUE(manager_->IsReadyToFinish());
      EXPECT_TRUE(manager_->Finish());
      EXPECT_EQ(manager_->Release(), 0u);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, settings_.c_str());
  }

  tb::IManager* manager_ = nullptr;
  com_ptr<tb::IConvertor> bundled_;
  com_ptr<tb::ISinkFactory> factory_;
  tbtest::TempFolder plugins_;
  tbtest::TempFolder files_;
  const std::string settings_ = std::string("Software\\TunebayTests\\") + kRegistryName;
};

// The pairs users meet, each an odd number of frames long, and a 12 ms clip.
const RatePair kPairs[] = {
    {44100, 48000, 8821},  {48000, 44100, 9601}, {44100, 96000, 4411}, {8000, 48000, 1601},
    {96000, 44100, 19201}, {22050, 44100, 4411}, {44100, 8000, 529},
};

TEST_P(exact_length_test, source_proxy_delivers_the_announced_length_and_the_real_end) {
  for (const RatePair& pair : kPairs) {
    SCOPED_TRACE(testing::Message() << pair.from << " to " << pair.to);
    WaveLayout layout;
    layout.rate = pair.from;
    layout.samples = Tone(pair.from, pair.frames);
    const std::string path = files_.path() + "\\in.wav";
    ASSERT_TRUE(WriteFileBytes(path, BuildWave(layout)));
    const uint64_t wanted = (pair.frames * pair.to + pair.from - 1) / pair.from;

    const tb::AudioFormat target = {pair.to, kBits, kChannels};
    com_ptr<IUnknown> source;
    ASSERT_TRUE(manager_->OpenSource(path.c_str(), &target, source.put(), -1, tb::kOpenWithProxy, 0,
                                     nullptr));
    com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(source.get());
    com_ptr<tb::ISourcePosition> position = Query<tb::ISourcePosition>(source.get());
    ASSERT_TRUE(control && position);
    EXPECT_EQ(position->GetLength(), wanted);
    ASSERT_TRUE(control->Start(0));
    std::vector<uint8_t> read;
    ASSERT_TRUE(ReadAll(source.get(), 4096, &read));
    EXPECT_TRUE(SameEnd(read, OneBlock(layout.samples, pair.from, pair.to), pair.to));
    EXPECT_EQ(position->GetPosition(), position->GetLength());
    EXPECT_TRUE(control->Stop(0));
    control.reset();
    position.reset();
    EXPECT_TRUE(ReleaseLast(source));
  }
}

TEST_P(exact_length_test, sink_proxy_writes_the_whole_stream_before_the_sink_stops) {
  for (const RatePair& pair : kPairs) {
    SCOPED_TRACE(testing::Message() << pair.from << " to " << pair.to);
    const std::vector<uint8_t> input = Tone(pair.from, pair.frames);
    const std::string out = files_.path() + "\\out.wav";
    FixedSinkCreator creator(factory_.get(), out, {pair.to, kBits, kChannels});
    const tb::AudioFormat host = {pair.from, kBits, kChannels};
    {
      com_ptr<IUnknown> sink;
      ASSERT_TRUE(manager_->CreateSink(&creator, sink.put(), &host, 0));
      com_ptr<tb::ISourceControl> control = Query<tb::ISourceControl>(sink.get());
      com_ptr<tb::ISinkData> data = Query<tb::ISinkData>(sink.get());
      ASSERT_TRUE(control && data);
      ASSERT_TRUE(control->Start(0));
      for (size_t at = 0; at < input.size(); at += 3000) {  // blocks end mid-frame
        const size_t n = std::min<size_t>(3000, input.size() - at);
        ASSERT_TRUE(data->Write(input.data() + at, static_cast<uint32_t>(n), 0, nullptr));
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
    EXPECT_TRUE(SameEnd(back, OneBlock(input, pair.from, pair.to), pair.to));
    EXPECT_TRUE(ReleaseLast(written));
  }
}

INSTANTIATE_TEST_SUITE_P(conversions, exact_length_test, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "fed_silence" : "ended_by_the_convertor";
                         });

}  // namespace
}  // namespace reftest
