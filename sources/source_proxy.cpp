// SourceProxy: presents a plug-in's source object in the host's format.
//
// The proxy's interfaces are hand-built tables rather than C++ classes, because three
// of their operations (the control interface's third, the tag interface's last three)
// only pass the call on and their signatures belong to the plug-in: those slots hold
// forwarding thunks that jump to the source's own operation with the caller's
// arguments on the stack. Every other entry is a static function that takes the face
// and calls the proxy. The control face, the IUnknown entries and the lifetime are
// ProxyBase's.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/com.h"
#include "core/error_object.h"
#include "sources/artist_title.h"
#include "sources/proxies.h"
#include "sources/proxy_base.h"
#include "sources/proxy_math.h"

namespace tb {

namespace {

using Face = ProxyBase::Face;
using QueryFn = ProxyBase::QueryFn;
using CountFn = ProxyBase::CountFn;

struct DataTable {
  QueryFn QueryInterface;
  CountFn AddRef;
  CountFn Release;
  const AudioFormat*(TB_STDCALL* GetFormat)(Face*, AudioFormat*);
  bool(TB_STDCALL* Read)(Face*, void*, uint32_t, uint32_t*, int32_t*, IError**);
  uint64_t(TB_STDCALL* GetDataSize)(Face*);
};
struct PositionTable {
  QueryFn QueryInterface;
  CountFn AddRef;
  CountFn Release;
  uint64_t(TB_STDCALL* GetPosition)(Face*);
  uint64_t(TB_STDCALL* GetBlockAlign)(Face*);
  uint64_t(TB_STDCALL* GetLength)(Face*);
};
struct SampleQueryTable {
  QueryFn QueryInterface;
  CountFn AddRef;
  CountFn Release;
  int32_t(TB_STDCALL* QueryCount)(Face*);
  int32_t(TB_STDCALL* QuerySamplePosition)(Face*, int32_t);
};
struct TagTable {
  QueryFn QueryInterface;
  CountFn AddRef;
  CountFn Release;
  const char*(TB_STDCALL* GetTitle)(Face*);
  const char*(TB_STDCALL* GetArtist)(Face*);
  ForwardThunk Slot5;
  ForwardThunk Slot6;
  ForwardThunk Slot7;
};
struct SeekTable {
  QueryFn QueryInterface;
  CountFn AddRef;
  CountFn Release;
  bool(TB_STDCALL* Seek)(Face*, uint64_t, int32_t);
};
struct OriginalFormatTable {
  QueryFn QueryInterface;
  CountFn AddRef;
  CountFn Release;
  AudioFormat*(TB_STDCALL* GetSourceFormat)(Face*, AudioFormat*);
};

TB_CHECK_TABLE_SLOT(DataTable, GetDataSize, 5);
TB_CHECK_TABLE_SLOT(PositionTable, GetLength, 5);
TB_CHECK_TABLE_SLOT(SampleQueryTable, QuerySamplePosition, 4);
TB_CHECK_TABLE_SLOT(TagTable, Slot5, 5);
TB_CHECK_TABLE_SLOT(TagTable, Slot7, 7);
TB_CHECK_TABLE_SLOT(SeekTable, Seek, 3);
TB_CHECK_TABLE_SLOT(OriginalFormatTable, GetSourceFormat, 3);

// The proxy's own faces; the control face, the primary one handed to the source's
// Attach and to the host, is ProxyBase's.
enum FaceIndex { kData, kPosition, kSampleQuery, kTag, kSeek, kOriginalFormat, kFaces };

class SourceProxy final : public ProxyBase {
 public:
  SourceProxy(Manager& manager, const AudioFormat* requested) noexcept;
  ~SourceProxy() override;

  bool Start(int32_t argument) noexcept override;
  bool Stop(int32_t argument) noexcept override;
  const AudioFormat* GetFormat(AudioFormat* out) noexcept;
  bool Read(void* buffer, uint32_t size, uint32_t* length, int32_t* status,
            IError** error) noexcept;
  uint64_t GetDataSize() noexcept;
  uint64_t GetPosition() noexcept;
  uint64_t GetBlockAlign() noexcept;
  uint64_t GetLength() noexcept;
  int32_t QueryCount() noexcept;
  int32_t QuerySamplePosition(int32_t index) noexcept;
  const char* GetTitle() noexcept;
  const char* GetArtist() noexcept;
  bool Seek(uint64_t position, int32_t argument) noexcept;
  AudioFormat* GetSourceFormat(AudioFormat* out) noexcept;

 private:
  bool Build(IUnknown* object) noexcept override;
  Face* FaceFor(REFIID iid) noexcept override;
  bool SourceFormat(AudioFormat* out) noexcept;
  void RefreshArtistTitle() noexcept;
  void RestartStream(uint64_t position) noexcept;
  void EndStream() noexcept;
  bool GiveTail(void* buffer, uint32_t size, uint32_t* length) noexcept;

  Face faces_[kFaces];
  com_ptr<ISourceData> data_;
  com_ptr<ISourcePosition> position_;
  com_ptr<ISampleQuery> sampleQuery_;
  com_ptr<ITagInfo> tagInfo_;
  com_ptr<ISourceSeek> seek_;
  const bool hasRequested_;
  const AudioFormat requested_;
  AudioFormat target_ = {-1, -1, -1};
  std::unique_ptr<uint8_t[]> buffer_;
  float byteRatio_ = 0.0f;
  int32_t ownRate_ = 0;  // the source's rate, as lengths and positions are scaled from it
  int32_t ownBits_ = 0;
  // The stream through the conversion: what went in and came out since the last start,
  // seek or end, and the tail that the end gave, still to be read.
  StreamCount stream_;
  std::vector<uint8_t> tail_;
  size_t tailGiven_ = 0;
  bool ended_ = false;
  // Where the converted stream began (presented frames), and what the host has had since.
  uint64_t base_ = 0;
  uint64_t deliveredBytes_ = 0;
  std::string artist_;
  std::string title_;
};

SourceProxy* Of(Face* face) noexcept { return static_cast<SourceProxy*>(face->owner); }

// ---- The tables -------------------------------------------------------------------

constexpr QueryFn FaceQueryInterface = &ProxyBase::FaceQueryInterface;
constexpr CountFn FaceAddRef = &ProxyBase::FaceAddRef;
constexpr CountFn FaceRelease = &ProxyBase::FaceRelease;
const AudioFormat* TB_STDCALL FaceGetFormat(Face* face, AudioFormat* out) noexcept {
  return Of(face)->GetFormat(out);
}
bool TB_STDCALL FaceRead(Face* face, void* buffer, uint32_t size, uint32_t* length, int32_t* status,
                         IError** error) noexcept {
  return Of(face)->Read(buffer, size, length, status, error);
}
uint64_t TB_STDCALL FaceGetDataSize(Face* face) noexcept { return Of(face)->GetDataSize(); }
uint64_t TB_STDCALL FaceGetPosition(Face* face) noexcept { return Of(face)->GetPosition(); }
uint64_t TB_STDCALL FaceGetBlockAlign(Face* face) noexcept { return Of(face)->GetBlockAlign(); }
uint64_t TB_STDCALL FaceGetLength(Face* face) noexcept { return Of(face)->GetLength(); }
int32_t TB_STDCALL FaceQueryCount(Face* face) noexcept { return Of(face)->QueryCount(); }
int32_t TB_STDCALL FaceQuerySamplePosition(Face* face, int32_t index) noexcept {
  return Of(face)->QuerySamplePosition(index);
}
const char* TB_STDCALL FaceGetTitle(Face* face) noexcept { return Of(face)->GetTitle(); }
const char* TB_STDCALL FaceGetArtist(Face* face) noexcept { return Of(face)->GetArtist(); }
bool TB_STDCALL FaceSeek(Face* face, uint64_t position, int32_t argument) noexcept {
  return Of(face)->Seek(position, argument);
}
AudioFormat* TB_STDCALL FaceGetSourceFormat(Face* face, AudioFormat* out) noexcept {
  return Of(face)->GetSourceFormat(out);
}

const DataTable kDataTable = {FaceQueryInterface, FaceAddRef, FaceRelease,
                              &FaceGetFormat,     &FaceRead,  &FaceGetDataSize};
const PositionTable kPositionTable = {FaceQueryInterface, FaceAddRef,         FaceRelease,
                                      &FaceGetPosition,   &FaceGetBlockAlign, &FaceGetLength};
const SampleQueryTable kSampleQueryTable = {FaceQueryInterface, FaceAddRef, FaceRelease,
                                            &FaceQueryCount, &FaceQuerySamplePosition};
const TagTable kTagTable = {FaceQueryInterface, FaceAddRef,    FaceRelease,   &FaceGetTitle,
                            &FaceGetArtist,     kForwardSlot5, kForwardSlot6, kForwardSlot7};
const SeekTable kSeekTable = {FaceQueryInterface, FaceAddRef, FaceRelease, &FaceSeek};
const OriginalFormatTable kOriginalFormatTable = {FaceQueryInterface, FaceAddRef, FaceRelease,
                                                  &FaceGetSourceFormat};

// ---- Lifetime ---------------------------------------------------------------------

SourceProxy::SourceProxy(Manager& manager, const AudioFormat* requested) noexcept
    : ProxyBase(manager),
      hasRequested_(requested != nullptr),
      requested_(requested ? *requested : AudioFormat{}) {
  const void* tables[kFaces] = {&kDataTable, &kPositionTable, &kSampleQueryTable,
                                &kTagTable,  &kSeekTable,     &kOriginalFormatTable};
  for (int i = 0; i < kFaces; ++i) faces_[i] = Face{tables[i], nullptr, this};
}

// The source's own references go first; ProxyBase gives up the rest.
SourceProxy::~SourceProxy() {
  artist_.clear();
  title_.clear();
  conversion_.reset();
  seek_.reset();
  tagInfo_.reset();
  sampleQuery_.reset();
  position_.reset();
  data_.reset();
  buffer_.reset();
}

bool SourceProxy::Build(IUnknown* object) noexcept {
  const bool common = TakeObject(object);
  data_ = detail::QueryOf<ISourceData>(object);
  position_ = detail::QueryOf<ISourcePosition>(object);
  tagInfo_ = detail::QueryOf<ITagInfo>(object);
  seek_ = detail::QueryOf<ISourceSeek>(object);
  sampleQuery_ = detail::QueryOf<ISampleQuery>(object);
  if (!common || !data_ || !position_) return false;

  // The formats are checked before Attach: once attached, the source counts through us,
  // and a proxy that then failed would leave it attached to a destroyed object.
  AudioFormat own;
  if (!SourceFormat(&own)) return false;
  const AudioFormat target = hasRequested_ ? requested_ : own;
  if (BytesPerSecond(own.sampleRate, own.bitsPerSample, own.channels) <= 0) return false;
  if (BytesPerSecond(target.sampleRate, target.bitsPerSample, target.channels) <= 0) {
    return false;
  }

  faces_[kTag].forward_target = tagInfo_.get();
  // Object, control, lifetime, data and position, and the optional three when offered.
  const ULONG ownReferences = 5 + (sampleQuery_ ? 1 : 0) + (tagInfo_ ? 1 : 0) + (seek_ ? 1 : 0);
  if (!AttachTo(ownReferences)) return false;

  target_ = target;
  byteRatio_ =
      FormatRatio(BytesPerSecond(own.sampleRate, own.bitsPerSample, own.channels),
                  BytesPerSecond(target.sampleRate, target.bitsPerSample, target.channels));
  ownRate_ = own.sampleRate;
  ownBits_ = own.bitsPerSample;
  MarkReady();
  return true;
}

ProxyBase::Face* SourceProxy::FaceFor(REFIID iid) noexcept {
  // The base identifier yields the data interface, which hosts rely on.
  if (same_iid(iid, IID_IUnknown) || same_iid(iid, iid_of<ISourceData>())) return &faces_[kData];
  if (same_iid(iid, iid_of<ISourcePosition>())) return &faces_[kPosition];
  if (same_iid(iid, iid_of<ISampleQuery>())) return &faces_[kSampleQuery];
  if (same_iid(iid, iid_of<IOriginalFormat>())) return &faces_[kOriginalFormat];
  if (same_iid(iid, iid_of<ITagInfo>()) && tagInfo_) return &faces_[kTag];
  if (same_iid(iid, iid_of<ISourceSeek>()) && seek_) return &faces_[kSeek];
  return nullptr;
}

// ---- Control ----------------------------------------------------------------------

bool SourceProxy::Start(int32_t argument) noexcept {
  if (!detail::GuardedStart(control_.get(), argument)) return false;
  // A conversion belongs to the start that made it.
  conversion_.reset();
  AudioFormat current;
  const bool same = SourceFormat(&current) && detail::SameFormat(current, target_);
  com_ptr<IConvertor> convertor;
  bool ok = true;
  AudioFormat from = {0, 0, 0};
  if (!same) {
    ok = owner_.GetConvertor(convertor.put()) && convertor && SourceFormat(&from) &&
         convertor->CreateConversion(&from, &target_, conversion_.put(), argument) && conversion_;
  }
  if (ok && !buffer_) {
    buffer_.reset(new (std::nothrow) uint8_t[kConversionBufferSize]);
    ok = buffer_ != nullptr;
  }
  if (!ok) return AbandonStart(argument);
  if (conversion_) {
    // Counted in the formats the conversion was made for.
    stream_ =
        StreamCount(static_cast<uint32_t>(BlockAlign(from.bitsPerSample, from.channels)),
                    from.sampleRate, static_cast<uint32_t>(GetBlockAlign()), target_.sampleRate);
    ownBits_ = from.bitsPerSample;
  }
  RestartStream(ScaleFramesDown(position_->GetPosition(), ownRate_, target_.sampleRate));
  return true;
}

bool SourceProxy::Stop(int32_t argument) noexcept {
  if (!StopObject(argument)) return false;
  buffer_.reset();
  RestartStream(0);
  return true;
}

void SourceProxy::RestartStream(uint64_t position) noexcept {
  stream_.Reset();
  tail_.clear();
  tailGiven_ = 0;
  ended_ = false;
  base_ = position;
  deliveredBytes_ = 0;
}

// The source has nothing more: what the conversion still holds is the end of the audio,
// read out before the end is reported. A tail that could not be had in full is given as
// far as it goes; the position then shows what is missing.
void SourceProxy::EndStream() noexcept {
  ended_ = true;
  tail_.clear();
  tailGiven_ = 0;
  detail::DrainConversion(conversion_.get(), stream_, ownBits_, &tail_);
  stream_.Reset();
}

// The next whole frames of the tail that fit, or false when it has all been read.
bool SourceProxy::GiveTail(void* buffer, uint32_t size, uint32_t* length) noexcept {
  if (tailGiven_ >= tail_.size()) return false;
  const uint32_t frame = stream_.out_frame_bytes();
  size_t n = tail_.size() - tailGiven_;
  if (n > size) n = size - (frame ? size % frame : 0);
  std::memcpy(buffer, tail_.data() + tailGiven_, n);
  tailGiven_ += n;
  deliveredBytes_ += n;
  *length = static_cast<uint32_t>(n);
  return true;
}

// ---- Data -------------------------------------------------------------------------

bool SourceProxy::SourceFormat(AudioFormat* out) noexcept {
  AudioFormat scratch = {0, 0, 0};
  if (!detail::TakeFormat(data_->GetFormat(&scratch), &scratch)) return false;
  *out = scratch;
  return true;
}

const AudioFormat* SourceProxy::GetFormat(AudioFormat* out) noexcept {
  if (out) *out = target_;
  return out;
}

namespace {
// Source reads in a row that a conversion may swallow before a read gives up.
constexpr int kMaxSilentReads = 4096;
}  // namespace

bool SourceProxy::Read(void* buffer, uint32_t size, uint32_t* length, int32_t* status,
                       IError** error) noexcept {
  // The status slot is written below, so a missing one is as bad as a missing length.
  if (!buffer || size == 0 || !length || !status) {
    ReportError(error, result::InvalidParameter);
    return false;
  }
  *status = 0;
  if (!conversion_) return data_->Read(buffer, size, length, status, error);
  if (size < stream_.out_frame_bytes()) {
    ReportError(error, result::InsufficientBuffer);
    return false;
  }
  if (GiveTail(buffer, size, length)) return true;

  const uint32_t wanted = ConvertingReadSize(
      size, byteRatio_, static_cast<uint32_t>(BlockAlign(target_.bitsPerSample, target_.channels)));
  if (wanted < kReadReserve || !buffer_) {
    ReportError(error, result::InsufficientBuffer);
    return false;
  }
  // A conversion holds back its filter's delay, so the first blocks of a stream may give
  // nothing: read on until it gives something or the source ends, since an empty read
  // tells the host that the stream is over. Bounded for a conversion that never answers.
  int32_t converted = 0;
  for (int attempt = 0; converted == 0; ++attempt) {
    if (attempt == kMaxSilentReads) {
      *length = 0;
      return true;
    }
    if (!data_->Read(buffer_.get(), wanted, length, status, error)) return false;
    // A source that claims more than it was asked for does not get the conversion to
    // read past our buffer.
    const uint32_t got = *length < wanted ? *length : wanted;
    if (got == 0) {
      if (!ended_) EndStream();
      if (!GiveTail(buffer, size, length)) *length = 0;
      return true;
    }
    // A source that has more after its end after all starts a new stream.
    ended_ = false;
    stream_.AddInput(got);
    conversion_->Convert(buffer_.get(), got, 0);
    converted = conversion_->GetOutputSize();
  }
  if (converted < 0 || static_cast<uint32_t>(converted) > size) return false;
  const void* output = conversion_->GetOutputData();
  if (!output) return false;
  std::memcpy(buffer, output, static_cast<size_t>(converted));
  *length = static_cast<uint32_t>(converted);
  stream_.AddOutput(*length);
  deliveredBytes_ += *length;
  return true;
}

// The source answers its data size in the low 32 bits.
uint64_t SourceProxy::GetDataSize() noexcept {
  return ScaleDown32(static_cast<uint32_t>(data_->GetDataSize()), byteRatio_);
}

// ---- Position ---------------------------------------------------------------------

// At the end the position is the length exactly: hosts compare the two to detect the
// end. While converting, the position is what the host has been given, since the
// conversion holds the last frames back until the source's end; the end counts only
// once they have been read.
uint64_t SourceProxy::GetPosition() noexcept {
  const uint64_t position = position_->GetPosition();
  const bool atEnd = position == position_->GetLength();
  if (!conversion_) {
    return atEnd ? GetLength() : ScaleFramesDown(position, ownRate_, target_.sampleRate);
  }
  if (atEnd && ended_ && tailGiven_ >= tail_.size()) return GetLength();
  const uint32_t frame = stream_.out_frame_bytes();
  return base_ + (frame ? deliveredBytes_ / frame : 0);
}

uint64_t SourceProxy::GetBlockAlign() noexcept {
  return BlockAlign(target_.bitsPerSample, target_.channels);
}

// Exactly as many frames as the conversion gives for the whole source.
uint64_t SourceProxy::GetLength() noexcept {
  return ScaleFramesUp(position_->GetLength(), ownRate_, target_.sampleRate);
}

int32_t SourceProxy::QueryCount() noexcept { return sampleQuery_ ? sampleQuery_->QueryCount() : 0; }

int32_t SourceProxy::QuerySamplePosition(int32_t index) noexcept {
  if (!sampleQuery_) return -1;
  const int32_t position = sampleQuery_->QuerySamplePosition(index);
  if (position == -1 || !conversion_) return position;
  AudioFormat current;
  if (!SourceFormat(&current)) return -1;
  return ScaleSamplePosition(position, current.sampleRate, target_.sampleRate);
}

bool SourceProxy::Seek(uint64_t position, int32_t argument) noexcept {
  if (!seek_) return false;
  if (!seek_->Seek(ScaleFramesDown(position, target_.sampleRate, ownRate_), argument)) {
    return false;
  }
  RestartStream(position);
  return true;
}

AudioFormat* SourceProxy::GetSourceFormat(AudioFormat* out) noexcept {
  if (!out) return nullptr;
  detail::TakeFormat(data_->GetFormat(out), out);
  return out;
}

// ---- Artist and title -------------------------------------------------------------

const char* SourceProxy::GetTitle() noexcept {
  if (!tagInfo_) return nullptr;
  RefreshArtistTitle();
  return title_.c_str();
}

const char* SourceProxy::GetArtist() noexcept {
  if (!tagInfo_) return nullptr;
  RefreshArtistTitle();
  return artist_.c_str();
}

// Runs on every GetTitle and GetArtist, so a change of the user's settings shows at
// the next call.
void SourceProxy::RefreshArtistTitle() noexcept {
  try {
    // Copied at once: the source may reuse its text at its next call.
    const char* text = tagInfo_->GetTitle();
    const std::string blockTitle = text ? text : "";
    text = tagInfo_->GetArtist();
    const std::string blockArtist = text ? text : "";

    // A proxy always has its manager, so the user's settings always apply.
    const bool haveManager = true;
    const int32_t source = owner_.artistTitleSource();
    const int32_t layout = owner_.artistTitleFileNameFormat();
    com_ptr<IFileInfo> fileInfo;
    std::string path;
    if (ArtistTitleNeedsFileName(blockTitle.c_str(), blockArtist.c_str(), haveManager, source)) {
      fileInfo = object_.query<IFileInfo>();
      if (fileInfo) {
        text = fileInfo->GetFilePath();
        if (text) path = text;
      }
    }
    ArtistTitle result = ApplyArtistTitleRule(blockTitle.c_str(), blockArtist.c_str(), haveManager,
                                              source, layout, path.c_str());
    title_ = std::move(result.title);
    artist_ = std::move(result.artist);
  } catch (...) {
    // Out of memory: the texts of the last call stay.
  }
}

}  // namespace

bool WrapSource(Manager& manager, IUnknown** slot, const AudioFormat* requested) noexcept {
  return ProxyBase::Wrap(slot, new (std::nothrow) SourceProxy(manager, requested));
}

}  // namespace tb
