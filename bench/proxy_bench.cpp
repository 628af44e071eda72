// What the source proxy costs a host that reads through it.
//
// A source that only copies out of a large buffer in memory is read directly and
// through the manager's source proxy, in 4 KiB and 64 KiB reads. With no conversion
// the proxy only passes each read on, so the two should cost the same (target: at most
// 2% more through the proxy).
//
// With a conversion the proxy reads into its own buffer, converts, and copies the
// result into the caller's buffer. A host calling the same conversion directly would
// read and convert alike, and then use the output where the conversion left it; the
// proxy's copy is the price of its interface. The bench compares the proxy with the
// direct read + conversion + one copy of the output, which it should not exceed
// (target: the proxy's extra time is at most one copy of the output). Two conversions:
// the real PCM convertor from 44.1 kHz to 48 kHz, and a copy-only conversion that
// leaves the proxy's own work in plain view.
//
// The machine is shared and its speed swings by tens of percent from one second to the
// next, far more than what is measured here. So the measurements are short and many;
// in each repetition the direct and the proxied reads run back to back, taking turns
// at going first; and the ratios within each repetition are compared (their median),
// which cancels the swings. The plain case also times the direct reads twice, and the
// ratio of those two is printed as the noise floor.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "dll/assembly.h"
#include "plugins/pcm/converter.h"
#include "plugins/pcmconv/pcm_conversion.h"
#include "sources/proxies.h"

namespace {

const int kPlainRepetitions = 301;
const int kConvertingRepetitions = 41;
const size_t kSourceBytes = 32u << 20;  // beyond the caches: reads come from memory
const uint32_t kProxyBufferLimit = 215040;

double Now() {
  static const double tick = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1.0 / static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * tick;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Bytes that look like music to nobody but fill every sample with something.
std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t seed = 2024;
  for (size_t i = 0; i < size; i += 4) {
    seed = seed * 1664525u + 1013904223u;
    std::memcpy(&bytes[i], &seed, std::min<size_t>(4, size - i));
  }
  return bytes;
}

// A source that copies out of a shared buffer, round and round: it never ends, so a
// measurement reads exactly as much as it wants. One count for all its interfaces,
// shared with the proxy through ILifetime, as every source does.
class MemorySource final : public tb::ISourceData,
                           public tb::ISourceControl,
                           public tb::ISourcePosition,
                           public tb::ILifetime {
 public:
  MemorySource(const std::vector<uint8_t>& bytes, const tb::AudioFormat& format)
      : bytes_(bytes),
        format_(format),
        frameBytes_(static_cast<uint32_t>(format.bitsPerSample / 8 * format.channels)) {}

  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    const tb::QueryRow rows[] = {
        {&IID_IUnknown, static_cast<tb::ISourceData*>(this)},
        {&tb::iid_of<tb::ISourceData>(), static_cast<tb::ISourceData*>(this)},
        {&tb::iid_of<tb::ISourceControl>(), static_cast<tb::ISourceControl*>(this)},
        {&tb::iid_of<tb::ISourcePosition>(), static_cast<tb::ISourcePosition*>(this)},
        {&tb::iid_of<tb::ILifetime>(), static_cast<tb::ILifetime*>(this)},
    };
    return tb::query_from_table(iid, out, rows);
  }
  ULONG TB_STDCALL AddRef() noexcept override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG TB_STDCALL Release() noexcept override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  const tb::AudioFormat* TB_STDCALL GetFormat(tb::AudioFormat* scratch) noexcept override {
    if (!scratch) return &format_;
    *scratch = format_;
    return scratch;
  }
  bool TB_STDCALL Read(void* buffer, uint32_t size, uint32_t* length, int32_t* status,
                       tb::IError**) noexcept override {
    if (status) *status = 0;
    if (offset_ == bytes_.size()) offset_ = 0;
    uint32_t n = size / frameBytes_ * frameBytes_;
    n = static_cast<uint32_t>(std::min<size_t>(n, bytes_.size() - offset_));
    std::memcpy(buffer, bytes_.data() + offset_, n);
    lastBuffer_ = buffer;
    offset_ += n;
    *length = n;
    return true;
  }
  uint64_t TB_STDCALL GetDataSize() noexcept override { return bytes_.size(); }

  bool TB_STDCALL Start(int32_t) noexcept override { return true; }
  bool TB_STDCALL Stop(int32_t) noexcept override { return true; }
  uint32_t TB_STDCALL GetState() noexcept override { return 0; }

  uint64_t TB_STDCALL GetPosition() noexcept override { return offset_ / frameBytes_; }
  uint64_t TB_STDCALL GetBlockAlign() noexcept override { return frameBytes_; }
  uint64_t TB_STDCALL GetLength() noexcept override { return bytes_.size() / frameBytes_; }

  /// Where the last read went: for a proxied read, the proxy's own buffer.
  const void* last_buffer() const { return lastBuffer_; }

  bool TB_STDCALL Attach(IUnknown*) noexcept override { return true; }
  bool TB_STDCALL Detach() noexcept override { return true; }
  HRESULT TB_STDCALL InnerQueryInterface(REFIID iid, void** out) noexcept override {
    return QueryInterface(iid, out);
  }
  ULONG TB_STDCALL InnerAddRef() noexcept override { return AddRef(); }
  ULONG TB_STDCALL InnerRelease() noexcept override { return Release(); }

 private:
  ~MemorySource() = default;

  LONG refs_ = 1;
  const std::vector<uint8_t>& bytes_;
  tb::AudioFormat format_;
  uint32_t frameBytes_;
  size_t offset_ = 0;
  const void* lastBuffer_ = nullptr;
};

// A conversion that only copies: between two formats of the same bytes per second it
// changes nothing but the label, so what remains to be measured is the proxy.
class CopyConversion final : public tb::IConversion {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    const tb::QueryRow rows[] = {{&IID_IUnknown, static_cast<tb::IConversion*>(this)}};
    return tb::query_from_table(iid, out, rows);
  }
  ULONG TB_STDCALL AddRef() noexcept override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG TB_STDCALL Release() noexcept override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  bool TB_STDCALL Convert(const void* data, uint32_t length, int32_t) noexcept override {
    out_.resize(length);
    if (length) std::memcpy(out_.data(), data, length);
    return true;
  }
  int32_t TB_STDCALL GetOutputSize() noexcept override { return static_cast<int32_t>(out_.size()); }
  void* TB_STDCALL GetOutputData() noexcept override { return out_.data(); }

 private:
  ~CopyConversion() = default;
  LONG refs_ = 1;
  std::vector<uint8_t> out_;
};

// The manager's convertor for the bench: the real PCM conversion, or the copy.
class BenchConvertor final : public tb::IConvertor {
 public:
  explicit BenchConvertor(bool copyOnly) : copyOnly_(copyOnly) {}

  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    const tb::QueryRow rows[] = {
        {&IID_IUnknown, static_cast<tb::IConvertor*>(this)},
        {&tb::iid_of<tb::IConvertor>(), static_cast<tb::IConvertor*>(this)},
    };
    return tb::query_from_table(iid, out, rows);
  }
  ULONG TB_STDCALL AddRef() noexcept override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG TB_STDCALL Release() noexcept override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  bool TB_STDCALL CanConvert(const tb::AudioFormat*, const tb::AudioFormat*) noexcept override {
    return true;
  }
  bool TB_STDCALL CreateConversion(const tb::AudioFormat* from, const tb::AudioFormat* to,
                                   tb::IConversion** conversion, int32_t) noexcept override {
    *conversion = Make(*from, *to);
    last_ = tb::com_ptr<tb::IConversion>(*conversion);
    return *conversion != nullptr;
  }

  /// The conversion last handed to the proxy, so that the direct reads use the very
  /// same object.
  tb::com_ptr<tb::IConversion> TakeLast() noexcept {
    tb::com_ptr<tb::IConversion> last;
    last.swap(last_);
    return last;
  }

  tb::IConversion* Make(const tb::AudioFormat& from, const tb::AudioFormat& to) noexcept {
    if (copyOnly_) return new (std::nothrow) CopyConversion();
    std::string error;
    std::unique_ptr<tb::pcm::Converter> converter =
        tb::pcm::Converter::Create(tb::pcmconv::ToPcm(from), tb::pcmconv::ToPcm(to), &error);
    if (!converter) return nullptr;
    return new (std::nothrow) tb::pcmconv::PcmConversion(std::move(converter));
  }

 private:
  ~BenchConvertor() = default;
  LONG refs_ = 1;
  bool copyOnly_;
  tb::com_ptr<tb::IConversion> last_;
};

// The bytes a converting proxy read asks the source for, worked out as the proxy does.
uint32_t ProxySourceRead(uint32_t size, const tb::AudioFormat& from, const tb::AudioFormat& to) {
  const float ratio = static_cast<float>(from.bitsPerSample / 8 * from.channels * from.sampleRate) /
                      static_cast<float>(to.bitsPerSample / 8 * to.channels * to.sampleRate);
  uint32_t n = static_cast<uint32_t>(static_cast<float>(size - 16) * ratio);
  n = std::min(n, kProxyBufferLimit);
  return n / 12 * 12;
}

struct Proxy {
  tb::com_ptr<IUnknown> object;
  tb::com_ptr<tb::ISourceData> data;
  tb::com_ptr<tb::ISourceControl> control;
};

// A fresh source wrapped in the manager's proxy, started (which sets up the conversion
// when the formats differ). `borrowed` receives the source itself, without a reference:
// one of our own would keep the proxy from ever seeing only its own references, and so
// from ending.
bool MakeProxy(tb::Manager& manager, const std::vector<uint8_t>& bytes, const tb::AudioFormat& own,
               const tb::AudioFormat& delivered, Proxy& proxy, MemorySource** borrowed = nullptr) {
  MemorySource* source = new MemorySource(bytes, own);
  if (borrowed) *borrowed = source;
  IUnknown* slot = static_cast<tb::ISourceData*>(source);
  if (!tb::WrapSource(manager, &slot, &delivered)) {
    slot->Release();
    if (borrowed) *borrowed = nullptr;
    return false;
  }
  proxy.object = tb::com_ptr<IUnknown>::adopt(slot);
  proxy.data = proxy.object.query<tb::ISourceData>();
  proxy.control = proxy.object.query<tb::ISourceControl>();
  return proxy.data && proxy.control && proxy.control->Start(0);
}

void EndProxy(Proxy& proxy) {
  if (proxy.control) proxy.control->Stop(0);
  proxy.control.reset();
  proxy.data.reset();
  if (proxy.object) {
    const ULONG left = proxy.object->Release();
    proxy.object.detach();
    if (left != 0) std::printf("  (the proxy's last Release left %lu references)\n", left);
  }
}

// Times `reads` reads of `size` bytes through ISourceData.
double TimeReads(tb::ISourceData* data, uint32_t size, size_t reads, uint8_t* buffer) {
  uint32_t length = 0;
  int32_t status = 0;
  const double start = Now();
  for (size_t i = 0; i < reads; ++i) {
    if (!data->Read(buffer, size, &length, &status, nullptr)) return -1;
  }
  return Now() - start;
}

// The same source object is read directly (through its own ISourceData) and through
// the proxy wrapped round it, so both read the same bytes from the same places. The
// direct reads are timed twice per repetition: the difference between those two is the
// noise floor, what two equal things measured alike differ by on this machine.
bool PlainCase(tb::Manager& manager, const std::vector<uint8_t>& bytes, uint32_t size,
               double* overhead) {
  const tb::AudioFormat format = {44100, 16, 2};
  MemorySource* source = nullptr;
  Proxy proxy;
  if (!MakeProxy(manager, bytes, format, format, proxy, &source)) {
    std::printf("cannot build or start the proxy\n");
    EndProxy(proxy);
    return false;
  }
  tb::ISourceData* readers[] = {source, source, proxy.data.get()};
  std::vector<double> times[3];
  std::vector<uint8_t> buffer(size);
  // Short measurements, many of them: the median then steps over the moments when the
  // machine is busy with something else.
  const size_t reads = (8u << 20) / size;
  for (tb::ISourceData* reader : readers) TimeReads(reader, size, reads, buffer.data());
  for (int r = 0; r < kPlainRepetitions; ++r) {
    for (int k = 0; k < 3; ++k) {
      const int which = (k + r) % 3;  // each takes each place in turn
      times[which].push_back(TimeReads(readers[which], size, reads, buffer.data()));
    }
  }
  EndProxy(proxy);
  // Each repetition's three timings lie close together in time: their ratios are
  // compared, which cancels the slow swings of a shared machine.
  std::vector<double> proxyRatios, noiseRatios;
  for (size_t r = 0; r < times[0].size(); ++r) {
    const double direct = (times[0][r] + times[1][r]) / 2;
    proxyRatios.push_back(times[2][r] / direct);
    noiseRatios.push_back(times[1][r] / times[0][r]);
  }
  const double d = Median(times[0]), p = Median(times[2]);
  *overhead = (Median(proxyRatios) - 1) * 100;
  const double perRead = 1e9 / static_cast<double>(reads);
  std::printf(
      "  %2u KiB reads: direct %6.1f ns, proxy %6.1f ns a read; proxy overhead %+.2f%%"
      " (noise floor %+.2f%%)\n",
      size / 1024, d * perRead, p * perRead, *overhead, (Median(noiseRatios) - 1) * 100);
  return true;
}

// The direct counterpart of a converting proxy read: the same source read, the same
// conversion, and one copy of its output into the caller's buffer.
//
// Copies run at speeds that depend on where their buffers lie relative to each other
// (cache-line offsets, addresses 4 KiB apart), so the direct reads use the proxy's own
// conversion object and a buffer placed like the proxy's within its 4 KiB page: both
// sides then move the same bytes between equally placed buffers, and what differs is
// the proxy's own work.
struct DirectConversion {
  MemorySource* source;
  tb::com_ptr<tb::IConversion> conversion;
  std::vector<uint8_t> storage;
  uint8_t* in;
  uint32_t ask;
  bool copy;

  DirectConversion(MemorySource* s, tb::com_ptr<tb::IConversion> c, const void* placeLike,
                   uint32_t a)
      : source(s), conversion(std::move(c)), storage(kProxyBufferLimit + 4096), ask(a), copy(true) {
    const uintptr_t base = reinterpret_cast<uintptr_t>(storage.data());
    const uintptr_t want = reinterpret_cast<uintptr_t>(placeLike) & 4095;
    in = storage.data() + ((want - base) & 4095);
  }

  double Time(size_t reads, uint8_t* out) {
    uint32_t length = 0;
    int32_t status = 0;
    const double start = Now();
    for (size_t i = 0; i < reads; ++i) {
      source->Read(in, ask, &length, &status, nullptr);
      conversion->Convert(in, length, 0);
      if (copy) std::memcpy(out, conversion->GetOutputData(), conversion->GetOutputSize());
    }
    return Now() - start;
  }
};

struct ConvertingResult {
  double ratio = 0;        // proxy / (direct + one copy), paired median
  double extraCopies = 0;  // (proxy - direct) / one copy, paired median
};

bool ConvertingCase(tb::Manager& manager, const std::vector<uint8_t>& bytes, const char* title,
                    bool copyOnly, const tb::AudioFormat& own, const tb::AudioFormat& delivered,
                    ConvertingResult* result) {
  tb::com_ptr<BenchConvertor> convertor =
      tb::com_ptr<BenchConvertor>::adopt(new BenchConvertor(copyOnly));
  if (!manager.SetConvertor(convertor.get(), nullptr)) return false;
  const uint32_t size = 64 * 1024;
  Proxy proxy;
  MemorySource* proxied = nullptr;
  std::vector<uint8_t> out(size);
  if (!MakeProxy(manager, bytes, own, delivered, proxy, &proxied) ||
      TimeReads(proxy.data.get(), size, 1, out.data()) < 0) {
    std::printf("%s: cannot build, start or read the proxy\n", title);
    EndProxy(proxy);
    return false;
  }
  tb::com_ptr<tb::IConversion> shared = convertor->TakeLast();
  if (!shared) {
    std::printf("%s: the proxy made no conversion\n", title);
    EndProxy(proxy);
    return false;
  }
  DirectConversion direct(new MemorySource(bytes, own), shared, proxied->last_buffer(),
                          ProxySourceRead(size, own, delivered));
  const size_t reads = (copyOnly ? 32u << 20 : 4u << 20) / size;
  // 0: through the proxy; 1: direct + one copy; 2: direct without the copy.
  auto measure = [&](int which) {
    if (which == 0) return TimeReads(proxy.data.get(), size, reads, out.data());
    direct.copy = which == 1;
    return direct.Time(reads, out.data());
  };
  for (int which = 0; which < 3; ++which) measure(which);
  std::vector<double> times[3], ratios, copies;
  for (int r = 0; r < kConvertingRepetitions; ++r) {
    double t[3];
    for (int k = 0; k < 3; ++k) {
      const int which = (k + r) % 3;
      t[which] = measure(which);
      times[which].push_back(t[which]);
    }
    ratios.push_back(t[0] / t[1]);
    if (t[1] > t[2]) copies.push_back((t[0] - t[2]) / (t[1] - t[2]));
  }
  EndProxy(proxy);
  direct.conversion.reset();
  direct.source->Release();

  result->ratio = Median(ratios);
  result->extraCopies = copies.empty() ? 0 : Median(copies);
  const double perRead = 1e6 / static_cast<double>(reads);
  std::printf("%s, 64 KiB reads (the source asked for %u bytes a read):\n", title, direct.ask);
  std::printf("  direct read + convert:          %8.2f us a read\n", Median(times[2]) * perRead);
  std::printf("  direct read + convert + 1 copy: %8.2f us a read\n", Median(times[1]) * perRead);
  std::printf("  through the proxy:              %8.2f us a read\n", Median(times[0]) * perRead);
  std::printf(
      "  proxy / (direct + 1 copy): %.3f; the proxy's extra time over the direct "
      "conversion: %.2f copies of the output\n",
      result->ratio, result->extraCopies);
  return true;
}

}  // namespace

int main() {
  tb::IManager* primary = nullptr;
  if (!tb::GetAssembledManager(&primary) || !primary) {
    std::printf("no manager\n");
    return 1;
  }
  tb::Manager& manager = *static_cast<tb::Manager*>(primary);
  const std::vector<uint8_t> bytes = Pattern(kSourceBytes);
  int status = 0;

  std::printf("Source proxy without conversion (44100:16:2 delivered as it is):\n");
  double overhead4 = 0, overhead64 = 0;
  if (!PlainCase(manager, bytes, 4 * 1024, &overhead4) ||
      !PlainCase(manager, bytes, 64 * 1024, &overhead64)) {
    status = 1;
  }
  std::printf("\n");
  ConvertingResult pcm, copy;
  if (!ConvertingCase(manager, bytes, "Converting proxy, PCM convertor 44100:16:2 -> 48000:16:2",
                      false, {44100, 16, 2}, {48000, 16, 2}, &pcm)) {
    status = 1;
  }
  std::printf("\n");
  if (!ConvertingCase(manager, bytes,
                      "Converting proxy, copy-only conversion 44100:16:2 -> 22050:16:4", true,
                      {44100, 16, 2}, {22050, 16, 4}, &copy)) {
    status = 1;
  }

  // One line each, for bench/run_all.sh.
  std::printf("\nratio proxy_plain_4k_overhead_percent=%.2f (target <= 2)\n", overhead4);
  std::printf("ratio proxy_plain_64k_overhead_percent=%.2f (target <= 2)\n", overhead64);
  std::printf("ratio proxy_convert_pcm_time_over_direct_plus_one_copy=%.3f (target <= 1)\n",
              pcm.ratio);
  std::printf("ratio proxy_convert_copyonly_extra_copies=%.2f (target <= 1)\n", copy.extraCopies);

  const ULONG left = primary->Release();
  if (left != 0) std::printf("(the manager's last Release left %lu references)\n", left);
  return status;
}
