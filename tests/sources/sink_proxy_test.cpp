// The sink proxy through IManager::CreateSink: the host's creator, the two tables,
// conversion set up on Start, Write, and destruction at four remaining references.
#include <string>

#include "sources/proxy_fixture.h"

namespace source_fakes {
namespace {

using tb::AudioFormat;
using tbtest::ReleaseLast;

class sink_proxy_test : public ManagerFixture {};

const AudioFormat kCd = {44100, 16, 2};

TEST_F(sink_proxy_test, wraps_the_creators_sink_and_ends_at_four_references) {
  for (bool delegates : {true, false}) {
    SCOPED_TRACE(delegates);
    SinkLog log;
    SinkConfig config;
    config.delegates = delegates;
    FakeSinkCreator creator(config, &log);
    IUnknown* proxy = nullptr;
    ASSERT_TRUE(manager->CreateSink(&creator, &proxy, &kCd, 0));
    ASSERT_NE(proxy, nullptr);
    EXPECT_NE(proxy, creator.made->unknown());
    EXPECT_EQ(tb::LiveProxyCount(), 1);
    EXPECT_EQ(creator.made->inner(), 5u);

    // The base identifier and ISinkData give the data table, ISourceControl the first.
    IUnknown* base = QueryBase(proxy);
    tb::ISinkData* data = Query<tb::ISinkData>(proxy);
    tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
    EXPECT_EQ(static_cast<void*>(base), static_cast<void*>(data));
    EXPECT_EQ(static_cast<void*>(control), static_cast<void*>(proxy));
    EXPECT_NE(static_cast<void*>(data), static_cast<void*>(proxy));
    EXPECT_EQ(proxy->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
    // Anything else is the sink's own answer.
    tb::ILifetime* lifetime = Query<tb::ILifetime>(proxy);
    EXPECT_NE(lifetime, nullptr);
    EXPECT_EQ(Query<tb::ISourceData>(proxy), nullptr);
    base->Release();
    data->Release();
    control->Release();
    lifetime->Release();

    // Another inner reference keeps the proxy: Release answers the sink's count.
    FakeSink* sink = creator.made;
    sink->InnerAddRef();
    EXPECT_EQ(proxy->Release(), 5u);
    EXPECT_FALSE(log.destroyed);
    proxy->AddRef();
    sink->InnerRelease();
    EXPECT_TRUE(ReleaseLast(proxy));
    EXPECT_TRUE(log.destroyed);
    EXPECT_EQ(tb::LiveProxyCount(), 0);
  }
}

TEST_F(sink_proxy_test, creator_failures_make_no_proxy) {
  using Mode = FakeSinkCreator::Mode;
  for (Mode mode : {Mode::kFail, Mode::kNoObject, Mode::kThrow}) {
    FakeSinkCreator creator(SinkConfig(), nullptr, mode);
    IUnknown* sink = nullptr;
    EXPECT_FALSE(manager->CreateSink(&creator, &sink, &kCd, 0));
    EXPECT_EQ(creator.calls, 1);
    EXPECT_EQ(tb::LiveProxyCount(), 0);
  }
  FakeSinkCreator creator(SinkConfig(), nullptr);
  IUnknown* sink = nullptr;
  EXPECT_FALSE(manager->CreateSink(nullptr, &sink, &kCd, 0));
  EXPECT_FALSE(manager->CreateSink(&creator, nullptr, &kCd, 0));
  EXPECT_FALSE(manager->CreateSink(&creator, &sink, nullptr, 0));
  EXPECT_EQ(creator.calls, 0);
}

TEST_F(sink_proxy_test, sink_without_an_interface_or_attach_stays_the_callers) {
  for (int missing = 0; missing < 4; ++missing) {
    SCOPED_TRACE(missing);
    SinkLog log;
    SinkConfig config;
    config.lifetime = missing != 0;
    config.control = missing != 1;
    config.sinkData = missing != 2;
    config.attachResult = missing != 3;
    FakeSinkCreator creator(config, &log);
    IUnknown* sink = nullptr;
    EXPECT_FALSE(manager->CreateSink(&creator, &sink, &kCd, 0));
    EXPECT_EQ(sink, creator.made->unknown());
    EXPECT_EQ(tb::LiveProxyCount(), 0);
    EXPECT_TRUE(ReleaseLast(sink));
    EXPECT_TRUE(log.destroyed);
  }
}

TEST_F(sink_proxy_test, equal_formats_write_the_hosts_data_unchanged) {
  SinkLog log;
  FakeSinkCreator creator(SinkConfig(), &log);
  IUnknown* proxy = nullptr;
  ASSERT_TRUE(manager->CreateSink(&creator, &proxy, &kCd, 0));
  ConversionLog conversions;
  UseConvertor(ConvertorConfig(), &conversions);
  auto* control = reinterpret_cast<tb::ISourceControl*>(proxy);
  tb::ISinkData* data = Query<tb::ISinkData>(proxy);
  ASSERT_TRUE(control->Start(0));
  EXPECT_EQ(conversions.created, 0);
  const std::string block(64, 's');
  EXPECT_TRUE(data->Write(block.data(), 64, 0, nullptr));
  EXPECT_EQ(log.lastWriteData, block.data());
  EXPECT_EQ(log.lastWriteLength, 64u);

  // Nothing to write is refused before the sink sees it.
  tb::IError* error = nullptr;
  EXPECT_FALSE(data->Write(block.data(), 0, 0, &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->GetCode(), tb::result::InvalidParameter);
  EXPECT_TRUE(ReleaseLast(error));
  EXPECT_FALSE(data->Write(nullptr, 4, 0, nullptr));
  EXPECT_EQ(log.writes, 1);

  EXPECT_TRUE(control->Stop(0));
  data->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(sink_proxy_test, different_formats_convert_until_stop) {
  SinkLog log;
  SinkConfig config;
  config.format = {8000, 8, 1};
  FakeSinkCreator creator(config, &log);
  IUnknown* proxy = nullptr;
  const AudioFormat host = {8000, 16, 2};
  ASSERT_TRUE(manager->CreateSink(&creator, &proxy, &host, 0));
  ConversionLog conversions;
  ConvertorConfig convertor;
  convertor.setup = true;
  UseConvertor(convertor, &conversions);
  auto* control = reinterpret_cast<tb::ISourceControl*>(proxy);
  tb::ISinkData* data = Query<tb::ISinkData>(proxy);

  ASSERT_TRUE(control->Start(0));
  EXPECT_EQ(conversions.prepared, 1);
  EXPECT_EQ(conversions.preparedWith, 1);
  EXPECT_EQ(conversions.lastFrom.bitsPerSample, 16);  // from the host's format
  EXPECT_EQ(conversions.lastTo.bitsPerSample, 8);     // to the sink's
  std::string block;
  for (int i = 0; i < 100; ++i) {
    const int16_t sample = static_cast<int16_t>(i * 300);
    block.append(reinterpret_cast<const char*>(&sample), 2);
    block.append(reinterpret_cast<const char*>(&sample), 2);
  }
  EXPECT_TRUE(data->Write(block.data(), static_cast<uint32_t>(block.size()), 0, nullptr));
  EXPECT_EQ(log.written, ConvertPcm(host, config.format, block));

  // The proxy reports the host's format, not the sink's.
  AudioFormat format = {};
  EXPECT_EQ(data->GetFormat(&format), &format);
  EXPECT_EQ(format.bitsPerSample, 16);
  EXPECT_EQ(format.channels, 2);

  EXPECT_TRUE(control->Stop(0));
  EXPECT_TRUE(data->Write(block.data(), 8, 0, nullptr));
  EXPECT_EQ(log.lastWriteData, block.data());

  data->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

// A conversion that keeps output back and cannot be told the stream ends is fed
// silence at Stop until the sink has had ceil(frames x to / from) frames, and no more.
TEST_F(sink_proxy_test, stop_gives_the_sink_what_the_conversion_still_owes) {
  SinkLog log;
  SinkConfig config;
  config.format = {88200, 16, 2};
  FakeSinkCreator creator(config, &log);
  IUnknown* proxy = nullptr;
  const AudioFormat host = {44100, 16, 2};
  ASSERT_TRUE(manager->CreateSink(&creator, &proxy, &host, 0));
  ConversionLog conversions;
  ConvertorConfig convertor;
  convertor.fixed = true;  // one frame out of every block, whatever goes in
  convertor.fixedSize = 4;
  UseConvertor(convertor, &conversions);
  auto* control = reinterpret_cast<tb::ISourceControl*>(proxy);
  tb::ISinkData* data = Query<tb::ISinkData>(proxy);
  ASSERT_TRUE(control->Start(0));
  const std::string block(40 + 2, 'x');  // ten frames and half of one more
  EXPECT_TRUE(data->Write(block.data(), static_cast<uint32_t>(block.size()), 0, nullptr));
  EXPECT_EQ(log.writes, 1);
  EXPECT_TRUE(control->Stop(0));
  // Ten frames at twice the rate are twenty; one came with the block, 19 at the end.
  EXPECT_EQ(log.writes, 2);
  EXPECT_EQ(log.lastWriteLength, 19u * 4);
  EXPECT_EQ(log.written.size(), 20u * 4);
  EXPECT_EQ(conversions.converts, 1 + 19);
  EXPECT_TRUE(control->Stop(0));
  EXPECT_EQ(log.writes, 2);
  data->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(sink_proxy_test, start_that_cannot_convert_stops_the_sink) {
  ConvertorConfig failing;
  failing.createResult = false;
  for (int variant = 0; variant < 2; ++variant) {
    SinkLog log;
    SinkConfig config;
    config.format = {22050, 16, 1};
    FakeSinkCreator creator(config, &log);
    IUnknown* proxy = nullptr;
    ASSERT_TRUE(manager->CreateSink(&creator, &proxy, &kCd, 0));
    if (variant == 1) {
      ConversionLog conversions;
      UseConvertor(failing, &conversions);
    }
    auto* control = reinterpret_cast<tb::ISourceControl*>(proxy);
    EXPECT_FALSE(control->Start(0));
    EXPECT_EQ(log.starts, 1);
    EXPECT_EQ(log.stops, 1);
    EXPECT_TRUE(ReleaseLast(proxy));
  }
}

TEST_F(sink_proxy_test, guarded_start_and_stop_and_the_forwarded_operation) {
  for (Fault fault : {Fault::kThrow, Fault::kAccessViolation}) {
    SinkLog log;
    SinkConfig config;
    config.startFault = fault;
    config.stopFault = fault;
    FakeSinkCreator creator(config, &log);
    IUnknown* proxy = nullptr;
    ASSERT_TRUE(manager->CreateSink(&creator, &proxy, &kCd, 0));
    auto* control = reinterpret_cast<IFakeControl*>(proxy);
    EXPECT_FALSE(control->Start(0));
    EXPECT_FALSE(control->Stop(0));
    EXPECT_EQ(control->Third(1, 0x500000000ull, 2), 0x500000000ull - 3);
    EXPECT_EQ(log.thirdB, 0x500000000ull);
    EXPECT_EQ(log.thirdC, 2u);
    EXPECT_TRUE(ReleaseLast(proxy));
  }
}

}  // namespace
}  // namespace source_fakes
