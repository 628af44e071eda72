// SinkProxy: accepts the host's audio data in the host's format and hands it to a
// plug-in's sink object in the sink's own, converting through the manager's convertor.
//
// Built like the source proxy from hand-made tables, for the same reason: the control
// interface's third operation only passes the call on, whatever its signature.
#include <new>

#include "base/com.h"
#include "base/forward_thunk.h"
#include "core/error_object.h"
#include "core/globals.h"
#include "core/manager.h"
#include "sources/proxies.h"

namespace tb {

namespace {

class SinkProxy;
using Face = ForwardFace<void, SinkProxy>;

using QueryFn = HRESULT(TB_STDCALL*)(Face*, REFIID, void**);
using CountFn = ULONG(TB_STDCALL*)(Face*);

struct ControlTable {
  QueryFn QueryInterface;
  CountFn AddRef;
  CountFn Release;
  bool(TB_STDCALL* Start)(Face*, int32_t);
  bool(TB_STDCALL* Stop)(Face*, int32_t);
  ForwardThunk Third;
};
struct SinkDataTable {
  QueryFn QueryInterface;
  CountFn AddRef;
  CountFn Release;
  bool(TB_STDCALL* Write)(Face*, const void*, uint32_t, int32_t, IError**);
  AudioFormat*(TB_STDCALL* GetFormat)(Face*, AudioFormat*);
};

TB_CHECK_TABLE_SLOT(ControlTable, Third, 5);
TB_CHECK_TABLE_SLOT(SinkDataTable, GetFormat, 4);

enum FaceIndex { kControl, kData, kFaces };

// The references the proxy holds on the sink: object, control, data, lifetime.
constexpr ULONG kOwnReferences = 4;

class SinkProxy {
 public:
  SinkProxy(Manager& manager, const AudioFormat& format) noexcept;
  ~SinkProxy();
  SinkProxy(const SinkProxy&) = delete;
  SinkProxy& operator=(const SinkProxy&) = delete;

  bool Build(IUnknown* object) noexcept;
  IUnknown* primary() noexcept { return faces_[kControl].as<IUnknown>(); }

  HRESULT QueryInterface(REFIID iid, void** out) noexcept;
  ULONG AddRef() noexcept;
  ULONG Release() noexcept;
  bool Start(int32_t argument) noexcept;
  bool Stop(int32_t argument) noexcept;
  bool Write(const void* data, uint32_t length, int32_t argument, IError** error) noexcept;
  AudioFormat* GetFormat(AudioFormat* out) noexcept;

 private:
  bool SinkFormat(AudioFormat* out) noexcept;

  Face faces_[kFaces];
  com_ptr<IUnknown> object_;
  com_ptr<ISourceControl> control_;
  com_ptr<ISinkData> data_;
  com_ptr<ILifetime> lifetime_;
  com_ptr<IManager> manager_;
  Manager& owner_;
  com_ptr<IConversion> conversion_;
  AudioFormat format_;
  bool ok_ = false;

  // As in the source proxy: the sink's inner count stays reachable while the
  // destructor gives up references that a sink may release through us.
  ILifetime* inner_ = nullptr;
  bool destroying_ = false;
};

HRESULT TB_STDCALL FaceQueryInterface(Face* face, REFIID iid, void** out) noexcept {
  return face->owner->QueryInterface(iid, out);
}
ULONG TB_STDCALL FaceAddRef(Face* face) noexcept { return face->owner->AddRef(); }
ULONG TB_STDCALL FaceRelease(Face* face) noexcept { return face->owner->Release(); }
bool TB_STDCALL FaceStart(Face* face, int32_t argument) noexcept {
  return face->owner->Start(argument);
}
bool TB_STDCALL FaceStop(Face* face, int32_t argument) noexcept {
  return face->owner->Stop(argument);
}
bool TB_STDCALL FaceWrite(Face* face, const void* data, uint32_t length, int32_t argument,
                          IError** error) noexcept {
  return face->owner->Write(data, length, argument, error);
}
AudioFormat* TB_STDCALL FaceGetFormat(Face* face, AudioFormat* out) noexcept {
  return face->owner->GetFormat(out);
}

const ControlTable kControlTable = {&FaceQueryInterface, &FaceAddRef, &FaceRelease,
                                    &FaceStart,          &FaceStop,   kForwardSlot5};
const SinkDataTable kSinkDataTable = {&FaceQueryInterface, &FaceAddRef, &FaceRelease, &FaceWrite,
                                      &FaceGetFormat};

SinkProxy::SinkProxy(Manager& manager, const AudioFormat& format) noexcept
    : owner_(manager), format_(format) {
  faces_[kControl] = Face{&kControlTable, nullptr, this};
  faces_[kData] = Face{&kSinkDataTable, nullptr, this};
  IncrementLiveProxyCount();
}

// The one place a sink proxy ends; the live count falls once nothing of the plug-in's
// is held any more.
SinkProxy::~SinkProxy() {
  destroying_ = true;
  conversion_.reset();
  manager_.reset();
  lifetime_.reset();
  data_.reset();
  control_.reset();
  object_.reset();
  DecrementLiveProxyCount();
}

bool SinkProxy::Build(IUnknown* object) noexcept {
  manager_ = com_ptr<IManager>(owner_.primary());
  lifetime_ = detail::QueryOf<ILifetime>(object);
  control_ = detail::QueryOf<ISourceControl>(object);
  data_ = detail::QueryOf<ISinkData>(object);
  object_ = com_ptr<IUnknown>(object);
  if (!lifetime_ || !control_ || !data_) return false;
  inner_ = lifetime_.get();
  faces_[kControl].forward_target = control_.get();
  if (!lifetime_->Attach(primary())) return false;
  ok_ = true;
  return true;
}

HRESULT SinkProxy::QueryInterface(REFIID iid, void** out) noexcept {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  Face* face = nullptr;
  if (same_iid(iid, IID_IUnknown) || same_iid(iid, iid_of<ISinkData>())) {
    face = &faces_[kData];
  } else if (same_iid(iid, iid_of<ISourceControl>())) {
    face = &faces_[kControl];
  }
  if (face) {
    AddRef();
    *out = face;
    return S_OK;
  }
  return inner_ ? inner_->InnerQueryInterface(iid, out) : E_NOINTERFACE;
}

ULONG SinkProxy::AddRef() noexcept { return inner_ ? inner_->InnerAddRef() : 0; }

ULONG SinkProxy::Release() noexcept {
  if (!inner_) return 0;
  const ULONG left = inner_->InnerRelease();
  // Until it is handed out, the proxy is not the host's to end: a sink that counts
  // through it during Attach must not bring it down.
  if (destroying_ || !ok_) return left;
  if (left == kOwnReferences) {
    delete this;
    return 0;
  }
  return left;
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
  if (!ok) {
    conversion_.reset();
    detail::GuardedStop(control_.get(), argument);
    return false;
  }
  return true;
}

bool SinkProxy::Stop(int32_t argument) noexcept {
  if (!detail::GuardedStop(control_.get(), argument)) return false;
  conversion_.reset();
  return true;
}

bool SinkProxy::Write(const void* data, uint32_t length, int32_t argument,
                      IError** error) noexcept {
  if (!data || length == 0) {
    ReportError(error, result::InvalidParameter);
    return false;
  }
  if (conversion_) {
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
  }
  return data_->Write(data, length, argument, error);
}

AudioFormat* SinkProxy::GetFormat(AudioFormat* out) noexcept {
  if (out) *out = format_;
  return out;
}

}  // namespace

bool WrapSink(Manager& manager, IUnknown** slot, const AudioFormat& format) noexcept {
  if (!slot || !*slot) return false;
  SinkProxy* proxy = new (std::nothrow) SinkProxy(manager, format);
  if (!proxy) return false;
  if (!proxy->Build(*slot)) {
    delete proxy;
    return false;
  }
  *slot = proxy->primary();
  return true;
}

}  // namespace tb
