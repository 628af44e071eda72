// The source proxy: its interface table and shared count, destruction at exactly its
// own references, conversion on Start, converting reads and their limits, the scaling
// of positions, the forwarded operations and the artist/title rule.
#include "sources/proxies.h"

#include <cstring>
#include <string>

#include "sources/proxy_fixture.h"
#include "sources/proxy_math.h"

namespace source_fakes {
namespace {

using tb::AudioFormat;
using tbtest::ReleaseLast;

class source_proxy_test : public ManagerFixture {
 protected:
  // Makes a source and wraps it; null when the proxy was not built (the source is
  // then released here, and must end with that).
  IUnknown* Wrap(const SourceConfig& config, const AudioFormat* requested, SourceLog* log) {
    FakeSource* source = new FakeSource(config, log);
    IUnknown* slot = source->unknown();
    if (!tb::WrapSource(impl(), &slot, requested)) {
      EXPECT_EQ(slot, source->unknown()) << "a failed wrap must leave the slot alone";
      EXPECT_TRUE(ReleaseLast(slot));
      return nullptr;
    }
    EXPECT_NE(slot, source->unknown());
    return slot;
  }
};

// 44100 Hz 16-bit stereo as a conversion from 88200 Hz 8-bit stereo: equal bytes per
// second, so the byte ratio is 1 and the rate ratio 2.
const AudioFormat kCd = {44100, 16, 2};
const AudioFormat kSameBytesHalfRate = {88200, 8, 2};

TEST_F(source_proxy_test, answers_its_table_and_passes_other_queries_to_the_source) {
  SourceLog log;
  SourceConfig config;  // no tag, no seek, no sample query
  IUnknown* proxy = Wrap(config, nullptr, &log);
  ASSERT_NE(proxy, nullptr);
  EXPECT_EQ(tb::LiveProxyCount(), 1);

  EXPECT_EQ(proxy->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  IUnknown* base = QueryBase(proxy);
  tb::ISourceData* data = Query<tb::ISourceData>(proxy);
  tb::ISourcePosition* position = Query<tb::ISourcePosition>(proxy);
  tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
  tb::ISampleQuery* samples = Query<tb::ISampleQuery>(proxy);
  tb::IOriginalFormat* original = Query<tb::IOriginalFormat>(proxy);
  EXPECT_EQ(static_cast<void*>(base), static_cast<void*>(data));
  EXPECT_EQ(static_cast<void*>(control), static_cast<void*>(proxy));
  for (IUnknown* face : {static_cast<IUnknown*>(data), static_cast<IUnknown*>(position),
                         static_cast<IUnknown*>(samples), static_cast<IUnknown*>(original)}) {
    ASSERT_NE(face, nullptr);
    EXPECT_NE(static_cast<void*>(face), static_cast<void*>(proxy));
  }

  // The source has no tag interface, so the query reaches its inner QueryInterface.
  const int before = log.innerQueries;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(proxy->QueryInterface(tb::iid_of<tb::ITagInfo>(), &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Query<tb::ISourceSeek>(proxy), nullptr);
  EXPECT_EQ(log.innerQueries, before + 2);
  // The source's own lifetime interface reaches the host unwrapped.
  tb::ILifetime* lifetime = Query<tb::ILifetime>(proxy);
  ASSERT_NE(lifetime, nullptr);

  // ISampleQuery is answered even without the source's: 0 and -1.
  EXPECT_EQ(samples->QueryCount(), 0);
  EXPECT_EQ(samples->QuerySamplePosition(0), -1);

  // Seven references on the proxy (one host, six faces) and one on the lifetime: all
  // in the source's count, above the proxy's own five.
  for (IUnknown* face : {static_cast<IUnknown*>(base), static_cast<IUnknown*>(data),
                         static_cast<IUnknown*>(position), static_cast<IUnknown*>(control),
                         static_cast<IUnknown*>(samples), static_cast<IUnknown*>(original)}) {
    EXPECT_GT(face->Release(), 5u);
  }
  EXPECT_EQ(proxy->Release(), 6u);  // the lifetime reference is still out
  EXPECT_FALSE(log.destroyed);
  EXPECT_EQ(tb::LiveProxyCount(), 1);
  // A source that counts through its outer object brings the proxy down with it.
  EXPECT_TRUE(ReleaseLast(lifetime));
  EXPECT_TRUE(log.destroyed);
}

TEST_F(source_proxy_test, interfaces_reached_through_it_may_be_released_in_any_order) {
  // A source that forwards (classic aggregation) ends with whichever reference goes
  // last; one written to the earlier rule ends when its host releases such an interface
  // first, as before.
  struct Case {
    bool delegates, proxyFirst;
  } cases[] = {{true, true}, {true, false}, {false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "delegates " << c.delegates << " proxy first " << c.proxyFirst);
    SourceLog log;
    SourceConfig config;
    config.fileInfo = config.tag = true;
    config.delegates = c.delegates;
    IUnknown* proxy = Wrap(config, nullptr, &log);
    ASSERT_NE(proxy, nullptr);
    IUnknown* info = Query<tb::IFileInfo>(proxy);
    ASSERT_NE(info, nullptr);
    IUnknown* lifetime = Query<tb::ILifetime>(proxy);
    ASSERT_NE(lifetime, nullptr);
    IUnknown* order[] = {proxy, info, lifetime};
    if (!c.proxyFirst) std::swap(order[0], order[2]);
    EXPECT_EQ(order[0]->Release(), 8u);
    EXPECT_EQ(order[1]->Release(), 7u);
    EXPECT_FALSE(log.destroyed);
    EXPECT_TRUE(ReleaseLast(order[2]));
    EXPECT_TRUE(log.destroyed);
    EXPECT_EQ(tb::LiveProxyCount(), 0);
  }
}

TEST_F(source_proxy_test, ends_exactly_when_only_its_own_references_remain) {
  // Five references plus one for each optional interface the source has.
  struct Case {
    bool tag, seek, samples;
    ULONG own;
  } cases[] = {{false, false, false, 5},
               {true, false, false, 6},
               {true, true, false, 7},
               {true, true, true, 8}};
  for (const Case& c : cases) {
    for (bool delegates : {true, false}) {
      SCOPED_TRACE(testing::Message() << "own " << c.own << " delegates " << delegates);
      SourceLog log;
      SourceConfig config;
      config.tag = c.tag;
      config.seek = c.seek;
      config.sampleQuery = c.samples;
      config.delegates = delegates;
      FakeSource* source = new FakeSource(config, &log);
      IUnknown* proxy = source->unknown();
      ASSERT_TRUE(tb::WrapSource(impl(), &proxy, nullptr));
      EXPECT_EQ(source->inner(), c.own + 1);
      // Someone else's inner reference keeps the proxy alive; Release reports it.
      source->InnerAddRef();
      EXPECT_EQ(proxy->Release(), c.own + 1);
      EXPECT_FALSE(log.destroyed);
      EXPECT_EQ(tb::LiveProxyCount(), 1);
      // Taken back through the proxy's AddRef, the last host reference ends it.
      EXPECT_EQ(proxy->AddRef(), c.own + 2);
      source->InnerRelease();
      EXPECT_TRUE(ReleaseLast(proxy));
      EXPECT_TRUE(log.destroyed);
      EXPECT_EQ(tb::LiveProxyCount(), 0);
    }
  }
}

TEST_F(source_proxy_test, is_not_built_without_a_required_interface_or_attach) {
  for (int missing = 0; missing < 5; ++missing) {
    SCOPED_TRACE(missing);
    SourceLog log;
    SourceConfig config;
    config.lifetime = missing != 0;
    config.control = missing != 1;
    config.sourceData = missing != 2;
    config.position = missing != 3;
    config.attachResult = missing != 4;
    config.tag = config.seek = config.sampleQuery = true;
    EXPECT_EQ(Wrap(config, nullptr, &log), nullptr);
    EXPECT_TRUE(log.destroyed);
    EXPECT_EQ(tb::LiveProxyCount(), 0);
  }
}

TEST_F(source_proxy_test, refuses_formats_that_describe_no_audio) {
  // Every size and position is divided by these; none of them may reach the ratios.
  const AudioFormat bad[] = {
      {0, 16, 2}, {44100, 4, 2}, {44100, 16, 0}, {-44100, 16, 2}, {0x7FFFFFFF, 32, 2}};
  for (const AudioFormat& format : bad) {
    SCOPED_TRACE(testing::Message()
                 << format.sampleRate << "/" << format.bitsPerSample << "/" << format.channels);
    SourceLog requestedLog, ownLog;
    EXPECT_EQ(Wrap(SourceConfig(), &format, &requestedLog), nullptr);
    EXPECT_EQ(requestedLog.attaches, 0);
    SourceConfig config;
    config.format = format;
    EXPECT_EQ(Wrap(config, nullptr, &ownLog), nullptr);
    EXPECT_EQ(tb::LiveProxyCount(), 0);
  }
  SourceConfig config;
  config.nullFormat = true;
  EXPECT_EQ(Wrap(config, nullptr, nullptr), nullptr);
}

TEST_F(source_proxy_test, same_format_reads_straight_through) {
  SourceLog log;
  SourceConfig config;
  config.data = std::string(4000, 'a');
  IUnknown* proxy = Wrap(config, &kCd, &log);
  ASSERT_NE(proxy, nullptr);
  tb::ISourceData* data = Query<tb::ISourceData>(proxy);
  tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);

  ConversionLog conversions;
  UseConvertor(ConvertorConfig(), &conversions);
  ASSERT_TRUE(control->Start(0));
  EXPECT_EQ(conversions.created, 0);
  char buffer[100];
  uint32_t length = 0;
  int32_t status = -1;
  ASSERT_TRUE(data->Read(buffer, sizeof buffer, &length, &status, nullptr));
  EXPECT_EQ(log.lastReadBuffer, buffer);
  EXPECT_EQ(log.readSizes.back(), sizeof buffer);
  EXPECT_EQ(length, sizeof buffer);
  EXPECT_EQ(status, 7);  // the source's own status comes back
  EXPECT_EQ(data->GetDataSize(), 4000u);
  AudioFormat format = {};
  EXPECT_EQ(data->GetFormat(&format), &format);
  EXPECT_EQ(format.sampleRate, 44100);

  EXPECT_TRUE(control->Stop(0));
  data->Release();
  control->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(source_proxy_test, read_rejects_missing_arguments_without_touching_the_source) {
  SourceLog log;
  IUnknown* proxy = Wrap(SourceConfig(), nullptr, &log);
  ASSERT_NE(proxy, nullptr);
  tb::ISourceData* data = Query<tb::ISourceData>(proxy);
  char buffer[64];
  uint32_t length = 0;
  int32_t status = 0;
  struct Call {
    void* buffer;
    uint32_t size;
    uint32_t* length;
    int32_t* status;
  } calls[] = {{nullptr, 64, &length, &status},
               {buffer, 0, &length, &status},
               {buffer, 64, nullptr, &status},
               {buffer, 64, &length, nullptr}};
  for (const Call& call : calls) {
    tb::IError* error = nullptr;
    EXPECT_FALSE(data->Read(call.buffer, call.size, call.length, call.status, &error));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->GetCode(), tb::result::InvalidParameter);
    EXPECT_TRUE(ReleaseLast(error));
    EXPECT_FALSE(data->Read(call.buffer, call.size, call.length, call.status, nullptr));
  }
  EXPECT_TRUE(log.readSizes.empty());
  data->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(source_proxy_test, converting_read_asks_for_whole_blocks_within_the_buffer) {
  SourceLog log;
  SourceConfig config;
  config.data = std::string(1 << 20, 'z');
  IUnknown* proxy = Wrap(config, &kSameBytesHalfRate, &log);
  ASSERT_NE(proxy, nullptr);
  tb::ISourceData* data = Query<tb::ISourceData>(proxy);
  tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
  ConversionLog conversions;
  UseConvertor(ConvertorConfig(), &conversions);
  ASSERT_TRUE(control->Start(0));
  EXPECT_EQ(conversions.created, 1);

  std::string buffer(1 << 20, '\0');
  uint32_t length = 0;
  int32_t status = 0;
  for (uint32_t size : {39u, 16u, 10u, 1u}) {
    tb::IError* error = nullptr;
    EXPECT_FALSE(data->Read(&buffer[0], size, &length, &status, &error)) << size;
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->GetCode(), tb::result::InsufficientBuffer);
    EXPECT_TRUE(ReleaseLast(error));
  }
  EXPECT_TRUE(log.readSizes.empty());

  ASSERT_TRUE(data->Read(&buffer[0], 40, &length, &status, nullptr));
  EXPECT_EQ(log.readSizes.back(), 24u);
  EXPECT_NE(log.lastReadBuffer, &buffer[0]);  // into the proxy's own buffer
  ASSERT_TRUE(data->Read(&buffer[0], 1 << 20, &length, &status, nullptr));
  EXPECT_EQ(log.readSizes.back(), tb::kConversionBufferSize);

  control->Stop(0);
  data->Release();
  control->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(source_proxy_test, converting_read_delivers_the_converted_data) {
  // 16-bit stereo frames become 8-bit mono at the same rate: a quarter of the bytes.
  SourceLog log;
  SourceConfig config;
  config.format = {8000, 16, 2};
  for (int i = 0; i < 600; ++i) {
    const int16_t left = static_cast<int16_t>(i * 50), right = static_cast<int16_t>(-i * 30);
    config.data.append(reinterpret_cast<const char*>(&left), 2);
    config.data.append(reinterpret_cast<const char*>(&right), 2);
  }
  const AudioFormat mono8 = {8000, 8, 1};
  IUnknown* proxy = Wrap(config, &mono8, &log);
  ASSERT_NE(proxy, nullptr);
  tb::ISourceData* data = Query<tb::ISourceData>(proxy);
  tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
  ConversionLog conversions;
  UseConvertor(ConvertorConfig(), &conversions);
  ASSERT_TRUE(control->Start(0));
  EXPECT_EQ(conversions.lastFrom.bitsPerSample, 16);
  EXPECT_EQ(conversions.lastTo.channels, 1);
  // A byte ratio of 4 makes the proxy ask for (size - 16) * 4 bytes.
  EXPECT_EQ(data->GetDataSize(), config.data.size() / 4);

  std::string delivered;
  char buffer[316];
  uint32_t length = 0;
  int32_t status = 0;
  while (data->Read(buffer, sizeof buffer, &length, &status, nullptr) && length > 0) {
    delivered.append(buffer, length);
  }
  EXPECT_EQ(log.readSizes.front(), 1200u);
  EXPECT_EQ(delivered, ConvertPcm(config.format, mono8, config.data));
  EXPECT_EQ(delivered.size(), 600u);

  control->Stop(0);
  data->Release();
  control->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(source_proxy_test, converting_read_refuses_output_it_cannot_deliver) {
  struct Case {
    int32_t size;
    bool nullData;
  } cases[] = {{101, false}, {-1, false}, {10, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    SourceLog log;
    SourceConfig config;
    config.data = std::string(1000, 'q');
    config.overclaim = 5000;  // and claims more than it was asked for
    IUnknown* proxy = Wrap(config, &kSameBytesHalfRate, &log);
    ASSERT_NE(proxy, nullptr);
    tb::ISourceData* data = Query<tb::ISourceData>(proxy);
    tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
    ConversionLog conversions;
    ConvertorConfig convertor;
    convertor.fixed = true;
    convertor.fixedSize = c.size;
    convertor.fixedNullData = c.nullData;
    UseConvertor(convertor, &conversions);
    ASSERT_TRUE(control->Start(0));
    char buffer[100];
    uint32_t length = 0;
    int32_t status = 0;
    EXPECT_FALSE(data->Read(buffer, sizeof buffer, &length, &status, nullptr));
    // The conversion saw no more than the proxy asked for.
    EXPECT_EQ(conversions.lastConvertLength, log.readSizes.back());
    EXPECT_EQ(length, log.readSizes.back() + 5000);  // what the source claimed
    control->Stop(0);
    data->Release();
    control->Release();
    EXPECT_TRUE(ReleaseLast(proxy));
  }
}

TEST_F(source_proxy_test, start_that_cannot_convert_stops_the_source_again) {
  ConvertorConfig failing, empty;
  failing.createResult = false;
  empty.createNull = true;
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    SourceLog log;
    IUnknown* proxy = Wrap(SourceConfig(), &kSameBytesHalfRate, &log);
    ASSERT_NE(proxy, nullptr);
    ConversionLog conversions;
    if (variant == 1) UseConvertor(failing, &conversions);
    if (variant == 2) UseConvertor(empty, &conversions);
    tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
    EXPECT_FALSE(control->Start(0));
    EXPECT_EQ(log.starts, 1);
    EXPECT_EQ(log.stops, 1);
    control->Release();
    EXPECT_TRUE(ReleaseLast(proxy));
    EXPECT_EQ(conversions.created, variant == 0 ? 0 : 1);
  }
}

TEST_F(source_proxy_test, start_and_stop_turn_plug_in_faults_into_false) {
  for (Fault fault : {Fault::kThrow, Fault::kAccessViolation}) {
    SourceLog log;
    SourceConfig config;
    config.startFault = fault;
    IUnknown* proxy = Wrap(config, nullptr, &log);
    ASSERT_NE(proxy, nullptr);
    tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
    EXPECT_FALSE(control->Start(0));
    control->Release();
    EXPECT_TRUE(ReleaseLast(proxy));

    // A stop that faults keeps the conversion: the next Stop may still succeed.
    SourceLog stopLog;
    config = SourceConfig();
    config.stopFault = fault;
    proxy = Wrap(config, &kSameBytesHalfRate, &stopLog);
    ASSERT_NE(proxy, nullptr);
    ConversionLog conversions;
    UseConvertor(ConvertorConfig(), &conversions);
    control = Query<tb::ISourceControl>(proxy);
    ASSERT_TRUE(control->Start(0));
    EXPECT_FALSE(control->Stop(0));
    tb::ISourceData* data = Query<tb::ISourceData>(proxy);
    char buffer[40];
    uint32_t length = 0;
    int32_t status = 0;
    EXPECT_TRUE(data->Read(buffer, sizeof buffer, &length, &status, nullptr));
    EXPECT_EQ(stopLog.readSizes.back(), 24u);  // still converting
    data->Release();
    control->Release();
    EXPECT_TRUE(ReleaseLast(proxy));
  }
}

TEST_F(source_proxy_test, stop_ends_the_conversion_once) {
  SourceLog log;
  SourceConfig config;
  config.data = std::string(400, 'w');
  IUnknown* proxy = Wrap(config, &kSameBytesHalfRate, &log);
  ASSERT_NE(proxy, nullptr);
  ConversionLog conversions;
  UseConvertor(ConvertorConfig(), &conversions);
  tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
  tb::ISourceData* data = Query<tb::ISourceData>(proxy);
  const LONG living = Living();
  ASSERT_TRUE(control->Start(0));
  EXPECT_EQ(Living(), living + 1);  // the conversion
  EXPECT_TRUE(control->Stop(0));
  EXPECT_EQ(Living(), living);
  EXPECT_TRUE(control->Stop(0));
  EXPECT_EQ(Living(), living);
  // Idle again: reads go straight to the source.
  char buffer[64];
  uint32_t length = 0;
  int32_t status = 0;
  EXPECT_TRUE(data->Read(buffer, sizeof buffer, &length, &status, nullptr));
  EXPECT_EQ(log.lastReadBuffer, buffer);
  data->Release();
  control->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(source_proxy_test, positions_scale_by_the_rates_in_all_64_bits) {
  SourceLog log;
  SourceConfig config;
  config.format = {44100, 16, 2};
  config.seek = true;
  config.fixedPositions = true;
  config.fixedPosition = 0x100000010ull;  // above 2^32
  config.fixedLength = 0x200000064ull;
  const AudioFormat doubled = {88200, 16, 2};  // rate ratio 0.5
  IUnknown* proxy = Wrap(config, &doubled, &log);
  ASSERT_NE(proxy, nullptr);
  tb::ISourcePosition* position = Query<tb::ISourcePosition>(proxy);
  tb::ISourceSeek* seek = Query<tb::ISourceSeek>(proxy);
  ASSERT_NE(seek, nullptr);
  EXPECT_EQ(position->GetPosition(), 0x200000020ull);
  EXPECT_EQ(position->GetLength(), 0x4000000C8ull);
  EXPECT_EQ(position->GetBlockAlign(), 4u);
  EXPECT_TRUE(seek->Seek(0x100000020ull, 9));
  EXPECT_EQ(log.seekPosition, 0x80000010ull);
  EXPECT_EQ(log.seekArgument, 9);
  seek->Release();
  position->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(source_proxy_test, position_at_the_end_equals_the_length_exactly) {
  // 44100 to 48000: the position scaled would be 48001, but the end is the length.
  SourceConfig config;
  config.fixedPositions = true;
  config.fixedPosition = config.fixedLength = 44101;
  const AudioFormat target = {48000, 16, 2};
  IUnknown* proxy = Wrap(config, &target, nullptr);
  ASSERT_NE(proxy, nullptr);
  tb::ISourcePosition* position = Query<tb::ISourcePosition>(proxy);
  EXPECT_EQ(position->GetPosition(), position->GetLength());
  EXPECT_EQ(position->GetLength(), 48002u);  // ceil(44101 x 48000 / 44100)
  position->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

// A conversion that keeps output back is fed silence once the source has nothing more,
// and the tail comes out in reads that fit; the position is what the host has had, and
// reaches the length only with the tail's last frame.
TEST_F(source_proxy_test, the_end_of_the_source_brings_the_conversions_tail) {
  SourceConfig config;
  config.data = std::string(40, 's');  // ten frames of 44100:16:2
  const AudioFormat doubled = {88200, 16, 2};
  IUnknown* proxy = Wrap(config, &doubled, nullptr);
  ASSERT_NE(proxy, nullptr);
  ConversionLog conversions;
  ConvertorConfig convertor;
  convertor.fixed = true;  // one frame out of every block
  convertor.fixedSize = 4;
  UseConvertor(convertor, &conversions);
  tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
  tb::ISourceData* data = Query<tb::ISourceData>(proxy);
  tb::ISourcePosition* position = Query<tb::ISourcePosition>(proxy);
  ASSERT_TRUE(control->Start(0));
  EXPECT_EQ(position->GetLength(), 20u);
  char buffer[64];
  std::vector<uint32_t> lengths;
  for (int i = 0; i < 12; ++i) {
    uint32_t length = 0;
    int32_t status = 0;
    ASSERT_TRUE(data->Read(buffer, sizeof buffer, &length, &status, nullptr));
    if (length == 0) break;
    lengths.push_back(length);
  }
  // Reads of 24 and 16 source bytes give a frame each; then 18 frames of tail, 16 and 2.
  const std::vector<uint32_t> expected = {4, 4, 64, 8};
  EXPECT_EQ(lengths, expected);
  EXPECT_EQ(position->GetPosition(), position->GetLength());
  EXPECT_TRUE(control->Stop(0));
  position->Release();
  data->Release();
  control->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(source_proxy_test, sample_positions_scale_only_while_converting) {
  SourceConfig config;
  config.sampleQuery = true;
  config.samplePositions = {1000, -1};
  FakeSource* source = new FakeSource(config, nullptr);
  IUnknown* proxy = source->unknown();
  const AudioFormat doubled = {88200, 16, 2};
  ASSERT_TRUE(tb::WrapSource(impl(), &proxy, &doubled));
  tb::ISampleQuery* samples = Query<tb::ISampleQuery>(proxy);
  tb::ISourceControl* control = Query<tb::ISourceControl>(proxy);
  EXPECT_EQ(samples->QueryCount(), 2);
  EXPECT_EQ(samples->QuerySamplePosition(0), 1000);  // no conversion yet
  ConversionLog conversions;
  UseConvertor(ConvertorConfig(), &conversions);
  ASSERT_TRUE(control->Start(0));
  EXPECT_EQ(samples->QuerySamplePosition(0), 2000);
  EXPECT_EQ(samples->QuerySamplePosition(1), -1);
  // The source's current rate is asked each time; one of 0 gives no position.
  source->format().sampleRate = 0;
  EXPECT_EQ(samples->QuerySamplePosition(0), -1);
  source->format().sampleRate = 44100;
  control->Stop(0);
  samples->Release();
  control->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(source_proxy_test, original_format_is_the_sources_own) {
  SourceConfig config;
  config.formatInOwnRecord = true;  // answers with its own record, the caller's untouched
  IUnknown* proxy = Wrap(config, &kSameBytesHalfRate, nullptr);
  ASSERT_NE(proxy, nullptr);
  tb::IOriginalFormat* original = Query<tb::IOriginalFormat>(proxy);
  AudioFormat format = {};
  EXPECT_EQ(original->GetSourceFormat(&format), &format);
  EXPECT_EQ(format.sampleRate, 44100);
  EXPECT_EQ(format.bitsPerSample, 16);
  EXPECT_EQ(original->GetSourceFormat(nullptr), nullptr);
  tb::ISourceData* data = Query<tb::ISourceData>(proxy);
  EXPECT_EQ(data->GetFormat(&format), &format);
  EXPECT_EQ(format.sampleRate, 88200);
  data->Release();
  original->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(source_proxy_test, forwarded_operations_keep_their_arguments_and_results) {
  SourceLog log;
  SourceConfig config;
  config.tag = true;
  IUnknown* proxy = Wrap(config, nullptr, &log);
  ASSERT_NE(proxy, nullptr);
  // Three arguments, one of them 64-bit, and a 64-bit result in EDX:EAX.
  auto* control = reinterpret_cast<IFakeControl*>(Query<tb::ISourceControl>(proxy));
  EXPECT_EQ(control->Third(7, 0x123456789ull, 11), 0x123456789ull + 18);
  EXPECT_EQ(log.thirdA, 7u);
  EXPECT_EQ(log.thirdB, 0x123456789ull);
  EXPECT_EQ(log.thirdC, 11u);
  // No arguments; two arguments with a 64-bit result; a double in and out (x87).
  auto* tag = reinterpret_cast<IFakeTag*>(Query<tb::ITagInfo>(proxy));
  ASSERT_NE(tag, nullptr);
  EXPECT_STREQ(tag->Album(), "album");
  EXPECT_EQ(tag->Genre(0xAABBCCDD, 0x11223344), 0xAABBCCDD11223344ull);
  EXPECT_EQ(log.genreA, 0xAABBCCDDu);
  EXPECT_DOUBLE_EQ(tag->Year(2.0), 3999.0);
  EXPECT_DOUBLE_EQ(log.yearScale, 2.0);
  // Repeated calls leave the stack as they found it.
  uint64_t sum = 0;
  for (uint32_t i = 0; i < 1000; ++i) sum += control->Third(i, 1, 2);
  EXPECT_EQ(sum, 1000u * 3 + 999u * 1000 / 2);
  tag->Release();
  control->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
}

TEST_F(source_proxy_test, artist_and_title_follow_the_settings_at_each_call) {
  SourceLog log;
  SourceConfig config;
  config.tag = true;
  config.fileInfo = true;
  config.title = " Block Title ";
  config.artist = "Block Artist";
  config.path = "C:\\music\\The Artist - A Title.mp3";
  IUnknown* proxy = Wrap(config, nullptr, &log);
  ASSERT_NE(proxy, nullptr);
  tb::ITagInfo* tag = Query<tb::ITagInfo>(proxy);

  // 0 with both texts: the block's, untrimmed, and the file is not asked.
  impl().setArtistTitleSource(0);
  EXPECT_STREQ(tag->GetTitle(), " Block Title ");
  EXPECT_STREQ(tag->GetArtist(), "Block Artist");
  EXPECT_EQ(log.fileInfoQueries, 0);
  // 2: the file name, split at the hyphen and trimmed.
  impl().setArtistTitleSource(2);
  EXPECT_STREQ(tag->GetArtist(), "The Artist");
  EXPECT_STREQ(tag->GetTitle(), "A Title");
  // The layout title-then-artist swaps them; title only takes the whole name.
  impl().setArtistTitleFileNameFormat(1);
  EXPECT_STREQ(tag->GetArtist(), "A Title");
  impl().setArtistTitleFileNameFormat(2);
  EXPECT_STREQ(tag->GetArtist(), "");
  EXPECT_STREQ(tag->GetTitle(), "The Artist - A Title");
  // 1: the block's texts always.
  impl().setArtistTitleSource(1);
  EXPECT_STREQ(tag->GetArtist(), "Block Artist");
  EXPECT_GT(log.fileInfoQueries, 0);
  tag->Release();
  EXPECT_TRUE(ReleaseLast(proxy));
  EXPECT_TRUE(log.destroyed);  // every IFileInfo reference was given back
}

TEST_F(source_proxy_test, artist_and_title_without_file_information) {
  SourceConfig config;
  config.tag = true;
  config.artist = "Only Artist";  // no title: source 0 falls back to the file name
  IUnknown* proxy = Wrap(config, nullptr, nullptr);
  ASSERT_NE(proxy, nullptr);
  tb::ITagInfo* tag = Query<tb::ITagInfo>(proxy);
  impl().setArtistTitleSource(0);
  // No IFileInfo: the block's texts stay.
  EXPECT_STREQ(tag->GetArtist(), "Only Artist");
  EXPECT_STREQ(tag->GetTitle(), "");
  impl().setArtistTitleSource(2);
  EXPECT_STREQ(tag->GetArtist(), "");
  tag->Release();
  EXPECT_TRUE(ReleaseLast(proxy));

  // A source that has file information but no tags: no tag interface at all.
  SourceConfig untagged;
  untagged.fileInfo = true;
  untagged.path = "C:\\a - b.wav";
  proxy = Wrap(untagged, nullptr, nullptr);
  ASSERT_NE(proxy, nullptr);
  EXPECT_EQ(Query<tb::ITagInfo>(proxy), nullptr);
  EXPECT_TRUE(ReleaseLast(proxy));
}

}  // namespace
}  // namespace source_fakes
