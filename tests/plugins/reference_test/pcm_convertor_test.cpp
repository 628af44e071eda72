// The PCM convertor (zqpcmconv.dll) through its entry points: its component tables,
// and conversions that must give exactly what the platform-free converter gives.
#include <gtest/gtest.h>
#include <tunebay/tunebay.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "plugins/pcm/converter.h"
#include "plugins/reference_test/reference_support.h"
#include "plugins_pure/signal_util.h"
#include "support/test_support.h"

namespace reftest {
namespace {

com_ptr<tb::IConvertor> Convertor() {
  com_ptr<tb::IComponent> component = PrimaryObject(kConvertorDll);
  return Query<tb::IConvertor>(component.get());
}

std::vector<uint8_t> Output(tb::IConversion* conversion) {
  const int32_t size = conversion->GetOutputSize();
  const auto* data = static_cast<const uint8_t*>(conversion->GetOutputData());
  EXPECT_NE(data, nullptr);
  EXPECT_GE(size, 0);
  if (!data || size <= 0) return {};
  return std::vector<uint8_t>(data, data + size);
}

TEST(pcm_convertor_test, component_offers_convertor_tables) {
  com_ptr<tb::IComponent> component = PrimaryObject(kConvertorDll);
  ASSERT_TRUE(component);
  EXPECT_STREQ(component->GetName(), "PCM convertor");
  EXPECT_EQ(component->GetKind(), tb::kKindConvertor);
  EXPECT_TRUE(component->Setup(nullptr, nullptr));
  com_ptr<tb::IConvertor> convertor = Query<tb::IConvertor>(component.get());
  com_ptr<tb::IConvertorSetup> setup = Query<tb::IConvertorSetup>(component.get());
  ASSERT_TRUE(convertor && setup);
  EXPECT_TRUE(setup->Prepare(1));
  EXPECT_FALSE(Query<tb::ISourceOpener>(component.get()));
  // Every interface is the one object.
  void* a = nullptr;
  void* b = nullptr;
  ASSERT_EQ(convertor->QueryInterface(IID_IUnknown, &a), S_OK);
  ASSERT_EQ(setup->QueryInterface(IID_IUnknown, &b), S_OK);
  EXPECT_EQ(a, b);
  static_cast<IUnknown*>(a)->Release();
  static_cast<IUnknown*>(b)->Release();
  convertor.reset();
  setup.reset();
  component->Shutdown();
  EXPECT_TRUE(ReleaseLast(component));
}

TEST(pcm_convertor_test, can_convert_between_supported_formats_only) {
  com_ptr<tb::IConvertor> convertor = Convertor();
  ASSERT_TRUE(convertor);
  const tb::AudioFormat cd = {44100, 16, 2};
  const tb::AudioFormat wide = {96000, 24, 6};
  const tb::AudioFormat mono8 = {8000, 8, 1};
  EXPECT_TRUE(convertor->CanConvert(&cd, &wide));
  EXPECT_TRUE(convertor->CanConvert(&wide, &mono8));
  EXPECT_TRUE(convertor->CanConvert(&cd, &cd));
  const tb::AudioFormat twelveBits = {44100, 12, 2};
  const tb::AudioFormat noChannels = {44100, 16, 0};
  const tb::AudioFormat noRate = {0, 16, 2};
  EXPECT_FALSE(convertor->CanConvert(&cd, &twelveBits));
  EXPECT_FALSE(convertor->CanConvert(&noChannels, &cd));
  EXPECT_FALSE(convertor->CanConvert(&cd, &noRate));
  EXPECT_FALSE(convertor->CanConvert(nullptr, &cd));

  tb::IConversion* conversion = reinterpret_cast<tb::IConversion*>(&convertor);
  EXPECT_FALSE(convertor->CreateConversion(&cd, &twelveBits, &conversion, 0));
  EXPECT_EQ(conversion, nullptr);
  EXPECT_FALSE(convertor->CreateConversion(nullptr, &cd, &conversion, 0));
  EXPECT_FALSE(convertor->CreateConversion(&cd, &cd, nullptr, 0));
  EXPECT_TRUE(ReleaseLast(convertor));
}

struct Pair {
  tb::AudioFormat from;
  tb::AudioFormat to;
};

// Fed in uneven blocks (partial frames included), a conversion gives the platform-free
// converter's output for the whole stream (to a step of rounding), and ending it
// (IConversionEnd, or Convert(nullptr, 0, 0)) gives the converter's tail.
TEST(pcm_convertor_test, conversion_matches_the_platform_free_converter) {
  const Pair pairs[] = {
      {{44100, 16, 2}, {48000, 16, 2}}, {{48000, 24, 6}, {44100, 16, 2}},
      {{22050, 8, 1}, {22050, 32, 4}},  {{96000, 32, 2}, {8000, 16, 1}},
      {{44100, 16, 2}, {44100, 16, 2}}, {{11025, 16, 1}, {44100, 24, 2}},
  };
  com_ptr<tb::IConvertor> convertor = Convertor();
  ASSERT_TRUE(convertor);
  std::mt19937 random(77);
  uint32_t seed = 100;
  for (const Pair& pair : pairs) {
    SCOPED_TRACE(testing::Message() << pair.from.sampleRate << "/" << pair.from.bitsPerSample << "/"
                                    << pair.from.channels << " to " << pair.to.sampleRate << "/"
                                    << pair.to.bitsPerSample << "/" << pair.to.channels);
    const size_t frameBytes =
        static_cast<size_t>(pair.from.bitsPerSample / 8) * static_cast<size_t>(pair.from.channels);
    const std::vector<uint8_t> input = RandomBytes(frameBytes * 20000, ++seed);

    std::string why;
    auto reference = tb::pcm::Converter::Create(
        {pair.from.sampleRate, pair.from.bitsPerSample, pair.from.channels},
        {pair.to.sampleRate, pair.to.bitsPerSample, pair.to.channels}, &why);
    ASSERT_TRUE(reference) << why;
    reference->Convert(input.data(), input.size());
    std::vector<uint8_t> expected(reference->data(), reference->data() + reference->size());
    reference->Flush();
    const std::vector<uint8_t> expectedTail(reference->data(),
                                            reference->data() + reference->size());

    com_ptr<tb::IConversion> conversion;
    ASSERT_TRUE(convertor->CreateConversion(&pair.from, &pair.to, conversion.put(), 0));
    ASSERT_TRUE(conversion);
    std::vector<uint8_t> got;
    for (size_t at = 0; at < input.size();) {
      const size_t n = std::min<size_t>(input.size() - at, 1 + random() % 9000);
      ASSERT_TRUE(conversion->Convert(input.data() + at, static_cast<uint32_t>(n), 0));
      const std::vector<uint8_t> block = Output(conversion.get());
      got.insert(got.end(), block.begin(), block.end());
      at += n;
      // An empty block is just that: it must not end the stream.
      if (at % 5 == 0) {
        ASSERT_TRUE(conversion->Convert(input.data(), 0, 0));
        EXPECT_EQ(conversion->GetOutputSize(), 0);
      }
    }
    // Fed in other blocks, the resampler may differ within the stopband (-160 dB): a step now and
    // then.
    EXPECT_TRUE(SameWithinOneStep(got, expected, pair.to.bitsPerSample))
        << got.size() << " bytes against " << expected.size();
    com_ptr<tb::IConversionEnd> end = Query<tb::IConversionEnd>(conversion.get());
    ASSERT_TRUE(end);
    ASSERT_TRUE(end->EndStream());
    end.reset();
    EXPECT_TRUE(Output(conversion.get()) == expectedTail);
    if (pair.from.sampleRate != pair.to.sampleRate) {
      EXPECT_FALSE(expectedTail.empty());
    }
    // The stream starts afresh after its end.
    ASSERT_TRUE(conversion->Convert(nullptr, 0, 0));
    EXPECT_EQ(conversion->GetOutputSize(), 0);
    EXPECT_NE(conversion->GetOutputData(), nullptr);
    EXPECT_FALSE(conversion->Convert(nullptr, 4, 0));
    EXPECT_EQ(conversion->GetOutputSize(), 0);
    EXPECT_TRUE(ReleaseLast(conversion));
  }
  EXPECT_TRUE(ReleaseLast(convertor));
}

// The whole stream of `input` (24-bit) through a conversion of the DLL, as 24-bit samples.
std::vector<double> ConvertAll(tb::IConvertor* convertor, const tb::AudioFormat& from,
                               const tb::AudioFormat& to, const std::vector<double>& input) {
  std::vector<uint8_t> bytes(input.size() * static_cast<size_t>(from.bitsPerSample / 8));
  tb::pcm::EncodeSamples(from.bitsPerSample, input.data(), input.size(), bytes.data());
  com_ptr<tb::IConversion> conversion;
  EXPECT_TRUE(convertor->CreateConversion(&from, &to, conversion.put(), 0));
  if (!conversion) return {};
  EXPECT_TRUE(conversion->Convert(bytes.data(), static_cast<uint32_t>(bytes.size()), 0));
  std::vector<uint8_t> out = Output(conversion.get());
  EXPECT_TRUE(conversion->Convert(nullptr, 0, 0));
  const std::vector<uint8_t> tail = Output(conversion.get());
  out.insert(out.end(), tail.begin(), tail.end());
  EXPECT_TRUE(ReleaseLast(conversion));
  std::vector<double> samples(out.size() / static_cast<size_t>(to.bitsPerSample / 8));
  tb::pcm::DecodeSamples(to.bitsPerSample, out.data(), samples.size(), samples.data());
  return samples;
}

// The DLL as built for Windows keeps the quality that the native tests measure: a clean
// sine, and nothing of a tone above the new Nyquist frequency.
TEST(pcm_convertor_test, keeps_a_sine_clean_and_folds_no_tone_back_at_24_bits) {
  com_ptr<tb::IConvertor> convertor = Convertor();
  ASSERT_TRUE(convertor);
  const tb::AudioFormat from = {96000, 24, 2}, to = {44100, 24, 2};
  const auto y =
      ConvertAll(convertor.get(), from, to, tb::test::Sine(1000, 96000, 0.891, 48000, 2));
  const size_t frames = y.size() / 2;
  ASSERT_EQ(frames, 22050u);
  // Rounding the source and the result to 24 bits alone leaves 142.3 dB.
  EXPECT_GE(tb::test::FitTone(y, 2, 1, 1000, 44100, 1000, frames - 1000).Sinad(), 141.5);

  const auto folded =
      ConvertAll(convertor.get(), from, to, tb::test::Sine(23000, 96000, 1.0, 48000, 2));
  const double level =
      tb::test::Db(tb::test::Rms(folded, 2, 0, 1000, frames - 1000) / std::sqrt(0.5));
  EXPECT_LE(level, -140.0);
  EXPECT_TRUE(ReleaseLast(convertor));
}

// Dither is on by default when the target has fewer bits; a host switches it off and on
// through Prepare, and silence stays silent either way.
TEST(pcm_convertor_test, dithers_by_default_and_prepare_switches_it) {
  com_ptr<tb::IComponent> component = PrimaryObject(kConvertorDll);
  com_ptr<tb::IConvertor> convertor = Query<tb::IConvertor>(component.get());
  com_ptr<tb::IConvertorSetup> setup = Query<tb::IConvertorSetup>(component.get());
  ASSERT_TRUE(convertor && setup);
  const tb::AudioFormat from = {44100, 24, 1}, to = {44100, 16, 1};
  std::vector<double> quiet = tb::test::Sine(1000, 44100, 0.001, 4410);
  quiet.resize(8820, 0.0);  // then silence
  std::vector<double> rounded(quiet.size());
  for (size_t i = 0; i < quiet.size(); ++i) {
    // What the 24-bit source holds, rounded to 16 bits.
    const double source = std::floor(quiet[i] * 8388608.0 + 0.5) / 8388608.0;
    rounded[i] = std::floor(source * 32768.0 + 0.5) / 32768.0;
  }

  const auto dithered = ConvertAll(convertor.get(), from, to, quiet);
  ASSERT_EQ(dithered.size(), quiet.size());
  EXPECT_NE(dithered, rounded);
  EXPECT_TRUE(
      std::all_of(dithered.begin() + 4500, dithered.end(), [](double v) { return v == 0; }));

  EXPECT_TRUE(setup->Prepare(tb::kPrepareDitherOff));
  EXPECT_TRUE(setup->Prepare(tb::kPrepareConversion));  // what the sink proxy passes
  EXPECT_EQ(ConvertAll(convertor.get(), from, to, quiet), rounded);
  EXPECT_TRUE(setup->Prepare(tb::kPrepareDitherOn));
  EXPECT_EQ(ConvertAll(convertor.get(), from, to, quiet), dithered);
  EXPECT_FALSE(setup->Prepare(12345));

  convertor.reset();
  setup.reset();
  EXPECT_TRUE(ReleaseLast(component));
}

TEST(pcm_convertor_test, ready_to_finish_waits_for_conversions) {
  com_ptr<tb::IComponent> component = PrimaryObject(kConvertorDll);
  com_ptr<tb::IConvertor> convertor = Query<tb::IConvertor>(component.get());
  ASSERT_TRUE(convertor);
  convertor.reset();
  EXPECT_TRUE(ReadyToFinish(kConvertorDll));
  convertor = Query<tb::IConvertor>(component.get());
  const tb::AudioFormat from = {44100, 16, 2}, to = {32000, 16, 1};
  com_ptr<tb::IConversion> conversion;
  ASSERT_TRUE(convertor->CreateConversion(&from, &to, conversion.put(), 0));
  convertor.reset();
  EXPECT_FALSE(ReadyToFinish(kConvertorDll));
  void* face = nullptr;
  EXPECT_EQ(conversion->QueryInterface(IID_IUnknown, &face), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(face)->Release(), 1u);
  EXPECT_EQ(conversion->QueryInterface(tb::iid_of<tb::IConvertor>(), &face), E_NOINTERFACE);
  EXPECT_TRUE(ReleaseLast(conversion));
  EXPECT_TRUE(ReadyToFinish(kConvertorDll));
  EXPECT_TRUE(ReleaseLast(component));
}

}  // namespace
}  // namespace reftest
