// SinkProxy: accepts the host's audio data in the host's format and hands it to a
// plug-in's sink object in the sink's own, converting through the manager's convertor.
//
// Built like the source proxy from hand-made tables, on the same ProxyBase: the control
// face and the lifetime are shared, the data face and the conversion are the sink's.
#include <new>
#include <vector>

#include "base/com.h"
#include "core/error_object.h"
#include "sources/proxies.h"
#include "sources/proxy_base.h"
#include "sources/proxy_math.h"

namespace tb {

namespace {

using Face = ProxyBase::Face;

struct SinkDataTable {
  ProxyBase::QueryFn QueryInterface;
  ProxyBase::CountFn AddRef;
  ProxyBase::CountFn Release;
  bool(TB_STDCALL* Write)(Face*, const void*, uint32_t, int32_t, IError**);
  AudioFormat*(TB_STDCALL* GetFormat)(Face*, AudioFormat*);
};

TB_CHECK_TABLE_SLOT(SinkDataTable, GetFormat, 4);

// The references the proxy holds on the sink: object, control, lifetime and data.
constexpr ULONG kOwnReferences = 4;

class SinkProxy final : public ProxyBase {
 public:
  SinkProxy(Manager& manager, const AudioFormat& format) noexcept;
  ~SinkProxy() override;

  bool Start(int32_t argument) noexcept override;
  bool Stop(int32_t argument) noexcept override;
  bool Write(const void* data, uint32_t length, int32_t argument, IError** error) noexcept;
  AudioFormat* GetFormat(AudioFormat* out) noexcept;

 private:
  bool Build(IUnknown* object) noexcept override;
  Face* FaceFor(REFIID iid) noexcept override;
  bool SinkFormat(AudioFormat* out) noexcept;
  bool WriteTail() noexcept;

  Face dataFace_;
  com_ptr<ISinkData> data_;
  AudioFormat format_;
  // The host's data through the conversion since the start, and whether its tail has
  // gone to the sink.
  StreamCount stream_;
  bool drained_ = false;
};

SinkProxy* Of(Face* face) noexcept { return static_cast<SinkProxy*>(face->owner); }

bool TB_STDCALL FaceWrite(Face* face, const void* data, uint32_t length, int32_t argument,
                          IError** error) noexcept {
  return Of(face)->Write(data, length, argument, error);
}
AudioFormat* TB_STDCALL FaceGetFormat(Face* face, AudioFormat* out) noexcept {
  return Of(face)->GetFormat(out);
}

const SinkDataTable kSinkDataTable = {&ProxyBase::FaceQueryInterface, &ProxyBase::FaceAddRef,
                                      &ProxyBase::FaceRelease, &FaceWrite, &FaceGetFormat};

SinkProxy::SinkProxy(Manager& manager, const AudioFormat& format) noexcept
    : ProxyBase(manager), dataFace_{&kSinkDataTable, nullptr, this}, format_(format) {}

// The sink's own references go first; ProxyBase gives up the rest.
SinkProxy::~SinkProxy() {
  conversion_.reset();
  data_.reset();
}

bool SinkProxy::Build(IUnknown* object) noexcept {
  const bool common = TakeObject(object);
  data_ = detail::QueryOf<ISinkData>(object);
  if (!common || !data_) return false;
  if (!AttachTo(kOwnReferences)) return false;
  MarkReady();
  return true;
}

ProxyBase::Face* SinkProxy::FaceFor(REFIID iid) noexcept {
  if (same_iid(iid, IID_IUnknown) || same_iid(iid, iid_of<ISinkData>())) return &dataFace_;
  return nullptr;
}

bool SinkProxy::SinkFormat(AudioFormat* out) noexcept {
  AudioFormat scratch = {0, 0, 0};
  if (!detail::TakeFormat(data_->GetFormat(&scratch), &scratch)) return false;
  *out = scratch;
  return true;
}

bool SinkProxy::Start(int32_t argument) noexcept {
  if (!detail::GuardedStart(control_.get(), argument)) return false;
  // A conversion belongs to the start that made it.
  conversion_.reset();
  AudioFormat sink;
  if (SinkFormat(&sink) && detail::SameFormat(sink, format_)) return true;

  com_ptr<IConvertor> convertor;
  bool ok = owner_.GetConvertor(convertor.put()) && convertor;
  if (ok) {
    if (com_ptr<IConvertorSetup> setup = convertor.query<IConvertorSetup>()) setup->Prepare(1);
    ok = SinkFormat(&sink) &&
         convertor->CreateConversion(&format_, &sink, conversion_.put(), argument) && conversion_;
  }
  if (!ok) return AbandonStart(argument);
  stream_ = StreamCount(static_cast<uint32_t>(BlockAlign(format_.bitsPerSample, format_.channels)),
                        format_.sampleRate,
                        static_cast<uint32_t>(BlockAlign(sink.bitsPerSample, sink.channels)),
                        sink.sampleRate);
  drained_ = false;
  return true;
}

// The conversion's tail goes to the sink before the sink hears of the end: the file is
// complete at Stop. A tail that could not be had or written makes the Stop false (the
// sink is stopped all the same, so that it lets its file go); the tail is written once,
// however often Stop is called.
bool SinkProxy::Stop(int32_t argument) noexcept {
  bool complete = true;
  if (conversion_ && !drained_) {
    drained_ = true;
    complete = WriteTail();
  }
  return StopObject(argument) && complete;
}

bool SinkProxy::WriteTail() noexcept {
  std::vector<uint8_t> tail;
  const bool whole =
      detail::DrainConversion(conversion_.get(), stream_, format_.bitsPerSample, &tail);
  stream_.Reset();
  if (tail.empty()) return whole;
  const bool written = data_->Write(tail.data(), static_cast<uint32_t>(tail.size()), 0, nullptr);
  return whole && written;
}

bool SinkProxy::Write(const void* data, uint32_t length, int32_t argument,
                      IError** error) noexcept {
  if (!data || length == 0) {
    ReportError(error, result::InvalidParameter);
    return false;
  }
  if (conversion_) {
    stream_.AddInput(length);
    conversion_->Convert(data, length, 0);
    const int32_t converted = conversion_->GetOutputSize();
    const void* output = conversion_->GetOutputData();
    // A negative size would reach the sink as some four thousand million bytes.
    if (converted < 0 || (converted > 0 && !output)) {
      ReportError(error, result::Failure);
      return false;
    }
    data = output;
    length = static_cast<uint32_t>(converted);
    stream_.AddOutput(length);
  }
  return data_->Write(data, length, argument, error);
}

AudioFormat* SinkProxy::GetFormat(AudioFormat* out) noexcept {
  if (out) *out = format_;
  return out;
}

}  // namespace

bool WrapSink(Manager& manager, IUnknown** slot, const AudioFormat& format) noexcept {
  return ProxyBase::Wrap(slot, new (std::nothrow) SinkProxy(manager, format));
}

}  // namespace tb
