// zqexample.dll: the worked example of a plug-in library. To start one of your own,
// copy this folder, give the library a name that starts with "zq" (the manager loads
// those from its plug-in folder) and replace the two components. The file needs the
// SDK headers (include/tunebay) and nothing else.
//
// The library offers a collection of two components:
//   - "Example tone decoder" (kind 3) opens "*.tone" files, one line of text:
//       <frequency in Hz> <seconds> [<sample rate>]
//     played as a 16-bit stereo sine tone at half scale: a test signal that needs no
//     audio file.
//   - "Example level meter" (kind 4), an encoder: the sinks it makes write a text file
//     with the number of frames and the peak and RMS levels of the 16-bit audio written
//     into them.
//
// How the manager meets the library, in order:
//   1. It loads the library and calls ORVA_PLUGIN_GetPrimaryAudioObject once. The
//      object handed out carries one reference, which passes to the manager.
//   2. A primary object of kind 2 is a collection: the manager takes each member with
//      GetItem (which adds a reference for it) and then releases the collection.
//   3. Once every library is loaded it calls Setup on each component (false removes
//      the component). Before unloading, Shutdown, then the last Release.
//   4. It frees the library only after ORVA_PLUGIN_ReadyToFinish answered true: the
//      answer must be false while any code of the library can still be called.
//
// Rules every plug-in keeps:
//   - Interface operations are __stdcall and never let an exception out.
//   - An object starts with one reference, owned by whoever receives it; an out slot
//     receives a reference for the caller.
//   - Texts are 8-bit in the system code page and belong to the object returning them.
#include <windows.h>

#include <tunebay/tunebay.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

using namespace tb;

// ---------------------------------------------------------------------------------
// What keeps the library loaded: every object whose code lives here, except the one
// reference of each component that the manager's catalogue holds (the manager lets go
// of those only after the library said it is ready).

volatile LONG g_liveObjects = 0;

struct LiveObject {
  LiveObject() { InterlockedIncrement(&g_liveObjects); }
  ~LiveObject() { InterlockedDecrement(&g_liveObjects); }
};

// A component's count: its first reference is the catalogue's; every further one (a
// host holding the component) keeps the library loaded.
class ComponentCount {
 public:
  ULONG Add() {
    const LONG n = InterlockedIncrement(&refs_);
    if (n == 2) InterlockedIncrement(&g_liveObjects);
    return static_cast<ULONG>(n);
  }
  ULONG Drop() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 1) InterlockedDecrement(&g_liveObjects);
    return static_cast<ULONG>(n);
  }

 private:
  volatile LONG refs_ = 1;
};

// ---------------------------------------------------------------------------------
// Error objects. The manager cannot lend its own to a plug-in, so a plug-in that
// reports errors brings a small IError: a result code, a Windows error number when one
// applies, and a sentence.

class ExampleError final : public IError {
 public:
  ExampleError(uint32_t code, const char* message, uint32_t systemError)
      : code_(code), systemError_(systemError) {
    std::snprintf(message_, sizeof message_, "%s", message);
  }
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, iid_of<IError>())) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IError*>(this);
    AddRef();
    return S_OK;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return InterlockedIncrement(&refs_); }
  ULONG TB_STDCALL Release() noexcept override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  const char* TB_STDCALL GetMessage() noexcept override { return message_; }
  uint32_t TB_STDCALL GetCode() noexcept override { return code_; }
  uint32_t TB_STDCALL GetSystemError() noexcept override { return systemError_; }

 private:
  LiveObject live_;
  volatile LONG refs_ = 1;
  uint32_t code_;
  uint32_t systemError_;
  char message_[200];
};

// The error-slot rule: a given slot receives a new error object; a null slot means the
// caller wants none, so none is made.
void SetError(IError** slot, uint32_t code, const char* message, uint32_t systemError = 0) {
  if (slot) *slot = new (std::nothrow) ExampleError(code, message, systemError);
}

bool HasExtension(const char* path, const char* extension) {
  const size_t n = std::strlen(path), e = std::strlen(extension);
  return n > e && _stricmp(path + n - e, extension) == 0;
}

// ---------------------------------------------------------------------------------
// The tone source. A source offers ISourceControl, ISourceData, ISourcePosition and
// ILifetime. When the host asks for a source in a format of its own, the manager wraps
// it in a proxy that shares the source's count through ILifetime: the proxy takes its
// references with QueryInterface, then calls Attach. This is classic COM aggregation:
// the source keeps ONE count, and once attached, QueryInterface, AddRef and Release of
// every one of its interfaces go to the outer object (the proxy); only ILifetime's
// InnerQueryInterface, InnerAddRef and InnerRelease act on the count itself. So an
// interface the host got through the proxy and releases after the proxy still ends the
// proxy (and with it the source).

const int32_t kToneBits = 16;
const int32_t kToneChannels = 2;
const uint32_t kToneFrameBytes = 4;

class ToneSource final : public ISourceControl,
                         public ISourceData,
                         public ISourcePosition,
                         public ILifetime {
 public:
  ToneSource(double frequency, uint64_t frames, int32_t sampleRate)
      : frequency_(frequency), frames_(frames), format_{sampleRate, kToneBits, kToneChannels} {}

  // IUnknown of every interface: the outer object's while one is attached. The outer
  // Release may end this object before it returns, so nothing is touched after it.
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    return outer_ ? outer_->QueryInterface(iid, out) : InnerQueryInterface(iid, out);
  }
  ULONG TB_STDCALL AddRef() noexcept override { return outer_ ? outer_->AddRef() : InnerAddRef(); }
  ULONG TB_STDCALL Release() noexcept override {
    return outer_ ? outer_->Release() : InnerRelease();
  }
  HRESULT TB_STDCALL InnerQueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, iid_of<ISourceData>())) {
      *out = static_cast<ISourceData*>(this);
    } else if (IsEqualGUID(iid, iid_of<ISourceControl>())) {
      *out = static_cast<ISourceControl*>(this);
    } else if (IsEqualGUID(iid, iid_of<ISourcePosition>())) {
      *out = static_cast<ISourcePosition*>(this);
    } else if (IsEqualGUID(iid, iid_of<ILifetime>())) {
      *out = static_cast<ILifetime*>(this);
    } else {
      return E_NOINTERFACE;
    }
    InnerAddRef();
    return S_OK;
  }
  ULONG TB_STDCALL InnerAddRef() noexcept override { return InterlockedIncrement(&refs_); }
  ULONG TB_STDCALL InnerRelease() noexcept override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  // ISourceControl
  bool TB_STDCALL Start(int32_t) noexcept override {
    started_ = true;
    return true;
  }
  bool TB_STDCALL Stop(int32_t) noexcept override {
    started_ = false;
    return true;
  }
  uint32_t TB_STDCALL GetState() noexcept override { return started_ ? 1 : 0; }

  // ISourceData
  const AudioFormat* TB_STDCALL GetFormat(AudioFormat* scratch) noexcept override {
    if (!scratch) return &format_;
    *scratch = format_;
    return scratch;
  }
  // Whole frames only; at the end of the tone a read succeeds with no bytes.
  bool TB_STDCALL Read(void* buffer, uint32_t size, uint32_t* length, int32_t* status,
                       IError** error) noexcept override {
    if (status) *status = 0;
    if (!buffer || !length) {
      SetError(error, result::InvalidParameter, "Read needs a buffer and a length slot");
      return false;
    }
    *length = 0;
    const uint64_t left = frames_ - position_;
    if (left == 0) return true;
    if (size < kToneFrameBytes) {
      SetError(error, result::InsufficientBuffer, "the buffer cannot hold one frame");
      return false;
    }
    const uint64_t frames = size / kToneFrameBytes < left ? size / kToneFrameBytes : left;
    int16_t* out = static_cast<int16_t*>(buffer);
    const double step = 2.0 * 3.14159265358979323846 * frequency_ / format_.sampleRate;
    for (uint64_t i = 0; i < frames; ++i) {
      // From the frame number, not a running phase: reads of any size give one signal.
      const double value = 16383.0 * std::sin(step * static_cast<double>(position_ + i));
      out[2 * i] = out[2 * i + 1] = static_cast<int16_t>(std::lround(value));
    }
    position_ += frames;
    *length = static_cast<uint32_t>(frames * kToneFrameBytes);
    return true;
  }
  uint64_t TB_STDCALL GetDataSize() noexcept override {
    return static_cast<uint32_t>(frames_ * kToneFrameBytes);
  }

  // ISourcePosition
  uint64_t TB_STDCALL GetPosition() noexcept override { return position_; }
  uint64_t TB_STDCALL GetBlockAlign() noexcept override { return kToneFrameBytes; }
  uint64_t TB_STDCALL GetLength() noexcept override { return frames_; }

  // ILifetime: the outer object is remembered, not counted; the inner operations
  // (above) act on the one count.
  bool TB_STDCALL Attach(IUnknown* outer) noexcept override {
    if (!outer) return false;
    outer_ = outer;
    return true;
  }
  bool TB_STDCALL Detach() noexcept override {
    const bool was = outer_ != nullptr;
    outer_ = nullptr;
    return was;
  }

 private:
  LiveObject live_;
  volatile LONG refs_ = 1;
  double frequency_;
  uint64_t frames_;
  uint64_t position_ = 0;
  AudioFormat format_;
  bool started_ = false;
  IUnknown* outer_ = nullptr;
};

// Reads "<frequency> <seconds> [<sample rate>]". The tone must lie below half the
// sample rate, and last at most an hour.
bool ReadToneFile(const char* path, double* frequency, uint64_t* frames, int32_t* rate) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  char text[128];
  const size_t n = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  text[n] = '\0';
  double seconds = 0;
  int sampleRate = 44100;
  if (std::sscanf(text, "%lf %lf %d", frequency, &seconds, &sampleRate) < 2) return false;
  if (sampleRate < 8000 || sampleRate > 192000) return false;
  if (!(*frequency > 0 && *frequency < sampleRate / 2.0)) return false;
  if (!(seconds > 0 && seconds <= 3600)) return false;
  *frames = static_cast<uint64_t>(seconds * sampleRate);
  *rate = sampleRate;
  return true;
}

// ---------------------------------------------------------------------------------
// The decoder component. Besides IComponent a decoder offers IExtensionList (the
// manager offers a file first to the decoders that list its extension) and
// ISourceOpener, whose odd two-table layout is described in the SDK (component.h).
// IComponentIdentity gives it a fixed identifier, under which the user's decoder
// order remembers it; IComponentAbout names its maker.

class ToneDecoder final : public IComponent,
                          public IExtensionList,
                          public ISourceOpener,
                          public IComponentIdentity,
                          public IComponentAbout {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown)) {
      *out = static_cast<IComponent*>(this);
    } else if (IsEqualGUID(iid, iid_of<IExtensionList>())) {
      *out = static_cast<IExtensionList*>(this);
    } else if (IsEqualGUID(iid, iid_of<ISourceOpener>())) {
      // The opener's first table, not its IUnknown: the manager releases it through
      // tb::opener_unknown.
      *out = static_cast<ISourceOpener*>(this);
    } else if (IsEqualGUID(iid, iid_of<IComponentIdentity>())) {
      *out = static_cast<IComponentIdentity*>(this);
    } else if (IsEqualGUID(iid, iid_of<IComponentAbout>())) {
      *out = static_cast<IComponentAbout*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return count_.Add(); }
  ULONG TB_STDCALL Release() noexcept override {
    const ULONG n = count_.Drop();
    if (n == 0) delete this;
    return n;
  }

  // IComponent
  const char* TB_STDCALL GetName() noexcept override { return "Example tone decoder"; }
  int32_t TB_STDCALL GetKind() noexcept override { return kKindDecoder; }
  // The manager is not counted here: a component that keeps it adds a reference and
  // releases it in Shutdown.
  bool TB_STDCALL Setup(IManager*, IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}

  // IExtensionList
  int32_t TB_STDCALL GetCount() noexcept override { return 1; }
  const char* TB_STDCALL GetExtension(int32_t index) noexcept override {
    return index == 0 ? "tone" : nullptr;
  }

  // ISourceOpener. The feature mask has kOpenWithProxy, so that the manager also picks
  // this decoder when the host asks for a source in a format of its own.
  uint32_t TB_STDCALL GetFeatureMask() noexcept override { return kOpenWithProxy; }
  bool TB_STDCALL Open(const char* name, IUnknown** source, uint32_t, uint32_t,
                       IError** error) noexcept override {
    if (!name || !source) {
      SetError(error, result::InvalidParameter, "Open needs a name and a source slot");
      return false;
    }
    *source = nullptr;
    // Files of other kinds are offered too (after the decoders that list their
    // extension); they are refused without reading them.
    if (!HasExtension(name, ".tone")) {
      SetError(error, result::FileInvalid, "not a tone file");
      return false;
    }
    double frequency = 0;
    uint64_t frames = 0;
    int32_t rate = 0;
    if (!ReadToneFile(name, &frequency, &frames, &rate)) {
      SetError(error, result::BadFormat, "a tone file holds <frequency> <seconds> [<sample rate>]");
      return false;
    }
    ToneSource* made = new (std::nothrow) ToneSource(frequency, frames, rate);
    if (!made) {
      SetError(error, result::Failure, "out of memory");
      return false;
    }
    *source = static_cast<ISourceData*>(made);
    return true;
  }
  uint32_t TB_STDCALL GetCapabilities() noexcept override { return kCapabilityOpensSources; }

  // IComponentIdentity
  bool TB_STDCALL GetClassId(GUID* id) noexcept override {
    if (!id) return false;
    *id = GUID{0x0b6a8ef4, 0x59ee, 0x46f2, {0xb8, 0x7c, 0x22, 0x81, 0xc2, 0x2f, 0x8e, 0xd2}};
    return true;
  }

  // IComponentAbout
  const char* TB_STDCALL GetVendor() noexcept override { return "Tunebay examples"; }
  bool TB_STDCALL HasAboutBox() noexcept override { return false; }
  void TB_STDCALL ShowAboutBox() noexcept override {}

 private:
  ComponentCount count_;
};

// ---------------------------------------------------------------------------------
// The level meter's sink. A sink offers ISourceControl, ISinkData and ILifetime, with
// one count as the source above; the manager's sink proxy converts the host's audio
// into the format GetFormat reports. Stop writes the report and completes the file.

class LevelSink final : public ISourceControl, public ISinkData, public ILifetime {
 public:
  LevelSink(HANDLE file, const AudioFormat& format) : file_(file), format_(format) {}
  ~LevelSink() { CloseHandle(file_); }

  // IUnknown of every interface: the outer object's while one is attached. The outer
  // Release may end this object before it returns, so nothing is touched after it.
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    return outer_ ? outer_->QueryInterface(iid, out) : InnerQueryInterface(iid, out);
  }
  ULONG TB_STDCALL AddRef() noexcept override { return outer_ ? outer_->AddRef() : InnerAddRef(); }
  ULONG TB_STDCALL Release() noexcept override {
    return outer_ ? outer_->Release() : InnerRelease();
  }
  HRESULT TB_STDCALL InnerQueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, iid_of<ISinkData>())) {
      *out = static_cast<ISinkData*>(this);
    } else if (IsEqualGUID(iid, iid_of<ISourceControl>())) {
      *out = static_cast<ISourceControl*>(this);
    } else if (IsEqualGUID(iid, iid_of<ILifetime>())) {
      *out = static_cast<ILifetime*>(this);
    } else {
      return E_NOINTERFACE;
    }
    InnerAddRef();
    return S_OK;
  }
  ULONG TB_STDCALL InnerAddRef() noexcept override { return InterlockedIncrement(&refs_); }
  ULONG TB_STDCALL InnerRelease() noexcept override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  // ISourceControl
  bool TB_STDCALL Start(int32_t) noexcept override { return true; }
  bool TB_STDCALL Stop(int32_t) noexcept override {
    const double frames = static_cast<double>(samples_ / format_.channels);
    const double rms = samples_ ? std::sqrt(sumOfSquares_ / static_cast<double>(samples_)) : 0;
    char report[256];
    const int n = std::snprintf(report, sizeof report,
                                "frames %.0f\r\npeak %d (%.1f dBFS)\r\nrms %.1f (%.1f dBFS)\r\n",
                                frames, peak_, Decibels(peak_), rms, Decibels(rms));
    DWORD written = 0;
    return SetFilePointer(file_, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(file_) &&
           WriteFile(file_, report, static_cast<DWORD>(n), &written, nullptr) &&
           written == static_cast<DWORD>(n);
  }
  uint32_t TB_STDCALL GetState() noexcept override { return 0; }

  // ISinkData. Samples may arrive split across writes; a leftover byte waits for the
  // next one.
  bool TB_STDCALL Write(const void* data, uint32_t length, int32_t,
                        IError** error) noexcept override {
    if (!data && length) {
      SetError(error, result::InvalidParameter, "Write needs data");
      return false;
    }
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (uint32_t i = 0; i < length; ++i) {
      if (!haveLow_) {
        low_ = bytes[i];
        haveLow_ = true;
        continue;
      }
      haveLow_ = false;
      const int sample = static_cast<int16_t>(low_ | (bytes[i] << 8));
      const int magnitude = sample < 0 ? -sample : sample;
      if (magnitude > peak_) peak_ = magnitude;
      sumOfSquares_ += static_cast<double>(sample) * sample;
      ++samples_;
    }
    return true;
  }
  AudioFormat* TB_STDCALL GetFormat(AudioFormat* out) noexcept override {
    if (!out) return &format_;
    *out = format_;
    return out;
  }

  // ILifetime, as for the source.
  bool TB_STDCALL Attach(IUnknown* outer) noexcept override {
    if (!outer) return false;
    outer_ = outer;
    return true;
  }
  bool TB_STDCALL Detach() noexcept override {
    const bool was = outer_ != nullptr;
    outer_ = nullptr;
    return was;
  }

 private:
  static double Decibels(double level) {
    return level > 0 ? 20.0 * std::log10(level / 32768.0) : -999.0;
  }

  LiveObject live_;
  volatile LONG refs_ = 1;
  HANDLE file_;
  AudioFormat format_;
  IUnknown* outer_ = nullptr;
  int peak_ = 0;
  double sumOfSquares_ = 0;
  uint64_t samples_ = 0;
  unsigned char low_ = 0;
  bool haveLow_ = false;
};

// ---------------------------------------------------------------------------------
// The encoder component: the manager only lists it; a host asks it for sinks through
// ISinkFactory (encoder.h).

class LevelMeter final : public IComponent, public ISinkFactory, public IComponentAbout {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown)) {
      *out = static_cast<IComponent*>(this);
    } else if (IsEqualGUID(iid, iid_of<ISinkFactory>())) {
      *out = static_cast<ISinkFactory*>(this);
    } else if (IsEqualGUID(iid, iid_of<IComponentAbout>())) {
      *out = static_cast<IComponentAbout*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return count_.Add(); }
  ULONG TB_STDCALL Release() noexcept override {
    const ULONG n = count_.Drop();
    if (n == 0) delete this;
    return n;
  }

  const char* TB_STDCALL GetName() noexcept override { return "Example level meter"; }
  int32_t TB_STDCALL GetKind() noexcept override { return kKindEncoder; }
  bool TB_STDCALL Setup(IManager*, IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}

  // The meter reads 16-bit samples; any other width is asked for as 16 bits, and the
  // manager's sink proxy converts.
  bool TB_STDCALL CreateFileSink(const char* path, const AudioFormat* format, IUnknown** sink,
                                 IError** error) noexcept override {
    if (sink) *sink = nullptr;
    if (!path || !*path || !format || !sink) {
      SetError(error, result::InvalidParameter, "CreateFileSink needs a path, a format and a slot");
      return false;
    }
    if (format->channels <= 0 || format->sampleRate <= 0) {
      SetError(error, result::BadFormat, "the format has no channels or no sample rate");
      return false;
    }
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      SetError(error, result::OpenFailed, "cannot create the report file", GetLastError());
      return false;
    }
    const AudioFormat own = {format->sampleRate, 16, format->channels};
    LevelSink* made = new (std::nothrow) LevelSink(file, own);
    if (!made) {
      CloseHandle(file);
      DeleteFileA(path);
      SetError(error, result::Failure, "out of memory");
      return false;
    }
    *sink = static_cast<ISinkData*>(made);
    return true;
  }

  const char* TB_STDCALL GetVendor() noexcept override { return "Tunebay examples"; }
  bool TB_STDCALL HasAboutBox() noexcept override { return false; }
  void TB_STDCALL ShowAboutBox() noexcept override {}

 private:
  ComponentCount count_;
};

// ---------------------------------------------------------------------------------
// The primary object: a collection (kind 2) holding one reference to each member. The
// manager never sets a collection up; it only enumerates it and releases it.

class ExampleCollection final : public IComponent, public IComponentCollection {
 public:
  static IComponent* Create() {
    ExampleCollection* collection = new (std::nothrow) ExampleCollection();
    if (!collection) return nullptr;
    collection->items_[0] = new (std::nothrow) ToneDecoder();
    collection->items_[1] = new (std::nothrow) LevelMeter();
    if (!collection->items_[0] || !collection->items_[1]) {
      collection->Release();
      return nullptr;
    }
    return static_cast<IComponent*>(collection);
  }

  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualGUID(iid, IID_IUnknown)) {
      *out = static_cast<IComponent*>(this);
    } else if (IsEqualGUID(iid, iid_of<IComponentCollection>())) {
      *out = static_cast<IComponentCollection*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return InterlockedIncrement(&refs_); }
  ULONG TB_STDCALL Release() noexcept override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  const char* TB_STDCALL GetName() noexcept override { return "Example collection"; }
  int32_t TB_STDCALL GetKind() noexcept override { return kKindCollection; }
  bool TB_STDCALL Setup(IManager*, IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}

  int32_t TB_STDCALL GetCount() noexcept override { return kItems; }
  bool TB_STDCALL GetItem(int32_t index, IComponent** item) noexcept override {
    if (!item || index < 0 || index >= kItems) return false;
    *item = items_[index];
    items_[index]->AddRef();
    return true;
  }

 private:
  static const int kItems = 2;
  ~ExampleCollection() {
    for (IComponent* item : items_) {
      if (item) item->Release();
    }
  }

  LiveObject live_;
  volatile LONG refs_ = 1;
  IComponent* items_[kItems] = {nullptr, nullptr};
};

}  // namespace

// The entry points: extern "C", __cdecl, exported under their plain names (see
// zqexample.def).

extern "C" bool __cdecl ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) {
  if (!out) return false;
  *out = ExampleCollection::Create();
  return *out != nullptr;
}

extern "C" bool __cdecl ORVA_PLUGIN_ReadyToFinish() { return g_liveObjects == 0; }
