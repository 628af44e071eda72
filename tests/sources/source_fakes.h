// Fake plug-in objects for the source and sink tests: sources, sinks, decoders,
// convertors, downloaders and error objects. Each counts its references and what was
// called on it; every fake alive is counted in Living(), so a test can end by checking
// that everything it made was released exactly.
//
// The fakes live outside an anonymous namespace on purpose: there the compiler would
// know every implementation of the fake interfaces and could call them directly,
// skipping the tables (and the forwarding thunks) that the tests are about.
#ifndef TB_TESTS_SOURCES_SOURCE_FAKES_H
#define TB_TESTS_SOURCES_SOURCE_FAKES_H

#include <windows.h>

#include <tunebay/tunebay.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace source_fakes {

/// Number of fake objects alive, across all kinds.
inline LONG& Living() {
  static LONG living = 0;
  return living;
}

/// How a fake operation misbehaves.
enum class Fault { kNone, kThrow, kAccessViolation };

inline void Misbehave(Fault fault) {
  if (fault == Fault::kThrow) throw std::runtime_error("plug-in failure");
  if (fault == Fault::kAccessViolation) {
    static volatile uintptr_t bad = 0x10;
    *reinterpret_cast<volatile int*>(bad) = 1;
  }
}

// Control and tag interfaces whose pass-through slots have signatures of their own,
// as a plug-in may give them: the proxies must forward them unchanged.
struct IFakeControl : IUnknown {
  virtual bool __stdcall Start(int32_t argument) = 0;
  virtual bool __stdcall Stop(int32_t argument) = 0;
  virtual uint64_t __stdcall Third(uint32_t a, uint64_t b, uint32_t c) = 0;
};
struct IFakeTag : IUnknown {
  virtual const char* __stdcall GetTitle() = 0;
  virtual const char* __stdcall GetArtist() = 0;
  virtual const char* __stdcall Album() = 0;
  virtual uint64_t __stdcall Genre(uint32_t a, uint32_t b) = 0;
  virtual double __stdcall Year(double scale) = 0;
};

/// Base of every fake: the living count.
struct Tracked {
  Tracked() { ++Living(); }
  virtual ~Tracked() { --Living(); }
};

// ---- Error objects ----------------------------------------------------------------

class FakeError : public tb::IError, public tb::IErrorVerdict, Tracked {
 public:
  FakeError(uint32_t code, int verdictOrNone) : code_(code), verdict_(verdictOrNone) {}
  static constexpr int kNoVerdict = -1000;

  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == tb::iid_of<tb::IError>()) {
      *out = static_cast<tb::IError*>(this);
    } else if (iid == tb::iid_of<tb::IErrorVerdict>() && verdict_ != kNoVerdict) {
      *out = static_cast<tb::IErrorVerdict*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG __stdcall AddRef() override { return ++count_; }
  ULONG __stdcall Release() override {
    ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }
  const char* __stdcall GetMessage() override { return ""; }
  uint32_t __stdcall GetCode() override { return code_; }
  uint32_t __stdcall GetSystemError() override { return 0; }
  int32_t __stdcall GetVerdict() override { return verdict_; }

 private:
  ULONG count_ = 1;
  uint32_t code_;
  int verdict_;
};

// ---- Sources ------------------------------------------------------------------------

/// What a source did; owned by the test, so it outlives the source.
struct SourceLog {
  int starts = 0;
  int stops = 0;
  int attaches = 0;
  int innerQueries = 0;
  std::vector<uint32_t> readSizes;
  void* lastReadBuffer = nullptr;
  uint64_t seekPosition = 0;
  int32_t seekArgument = 0;
  uint32_t thirdA = 0;
  uint64_t thirdB = 0;
  uint32_t thirdC = 0;
  uint32_t genreA = 0;
  uint32_t genreB = 0;
  double yearScale = 0;
  int fileInfoQueries = 0;
  bool destroyed = false;
};

struct SourceConfig {
  tb::AudioFormat format = {44100, 16, 2};
  std::string data;  // the audio bytes the source delivers
  // Interfaces the source answers.
  bool lifetime = true, control = true, sourceData = true, position = true;
  bool tag = false, seek = false, sampleQuery = false, fileInfo = false;
  // After Attach, answer QueryInterface, AddRef and Release through the outer object,
  // as ILifetime asks; a plain source keeps counting on its own.
  bool delegates = true;
  bool attachResult = true;
  bool startResult = true, stopResult = true;
  Fault startFault = Fault::kNone, stopFault = Fault::kNone;
  // GetFormat answers with its own record and leaves the caller's untouched.
  bool formatInOwnRecord = false;
  bool nullFormat = false;
  const char* title = nullptr;
  const char* artist = nullptr;
  const char* path = nullptr;
  // Fixed answers of the position interface instead of the ones the data gives.
  bool fixedPositions = false;
  uint64_t fixedPosition = 0, fixedLength = 0;
  std::vector<int32_t> samplePositions;
  // Claims this many bytes more than it was asked for.
  uint32_t overclaim = 0;
};

class FakeSource : public IFakeControl,
                   public tb::ISourceData,
                   public tb::ISourcePosition,
                   public tb::ILifetime,
                   public tb::ISampleQuery,
                   public IFakeTag,
                   public tb::ISourceSeek,
                   public tb::IFileInfo,
                   Tracked {
 public:
  FakeSource(const SourceConfig& config, SourceLog* log) : config_(config), log_(log) {}
  ~FakeSource() override {
    if (log_) log_->destroyed = true;
  }

  IUnknown* unknown() { return static_cast<IFakeControl*>(this); }
  ULONG inner() const { return count_; }
  tb::AudioFormat& format() { return config_.format; }

  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (outer_ && config_.delegates) return outer_->QueryInterface(iid, out);
    return InnerQueryInterface(iid, out);
  }
  ULONG __stdcall AddRef() override {
    if (outer_ && config_.delegates) return outer_->AddRef();
    return InnerAddRef();
  }
  ULONG __stdcall Release() override {
    if (outer_ && config_.delegates) return outer_->Release();
    return InnerRelease();
  }

  // ILifetime
  bool __stdcall Attach(IUnknown* outer) override {
    if (log_) ++log_->attaches;
    if (!config_.attachResult) return false;
    outer_ = outer;
    return true;
  }
  bool __stdcall Detach() override {
    outer_ = nullptr;
    return true;
  }
  HRESULT __stdcall InnerQueryInterface(REFIID iid, void** out) override {
    if (log_) ++log_->innerQueries;
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown) {
      *out = unknown();
    } else if (iid == tb::iid_of<tb::ISourceControl>() && config_.control) {
      *out = static_cast<IFakeControl*>(this);
    } else if (iid == tb::iid_of<tb::ISourceData>() && config_.sourceData) {
      *out = static_cast<tb::ISourceData*>(this);
    } else if (iid == tb::iid_of<tb::ISourcePosition>() && config_.position) {
      *out = static_cast<tb::ISourcePosition*>(this);
    } else if (iid == tb::iid_of<tb::ILifetime>() && config_.lifetime) {
      *out = static_cast<tb::ILifetime*>(this);
    } else if (iid == tb::iid_of<tb::ISampleQuery>() && config_.sampleQuery) {
      *out = static_cast<tb::ISampleQuery*>(this);
    } else if (iid == tb::iid_of<tb::ITagInfo>() && config_.tag) {
      *out = static_cast<IFakeTag*>(this);
    } else if (iid == tb::iid_of<tb::ISourceSeek>() && config_.seek) {
      *out = static_cast<tb::ISourceSeek*>(this);
    } else if (iid == tb::iid_of<tb::IFileInfo>() && config_.fileInfo) {
      if (log_) ++log_->fileInfoQueries;
      *out = static_cast<tb::IFileInfo*>(this);
    } else {
      return E_NOINTERFACE;
    }
    InnerAddRef();
    return S_OK;
  }
  ULONG __stdcall InnerAddRef() override { return ++count_; }
  ULONG __stdcall InnerRelease() override {
    ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }

  // Control
  bool __stdcall Start(int32_t) override {
    if (log_) ++log_->starts;
    Misbehave(config_.startFault);
    return config_.startResult;
  }
  bool __stdcall Stop(int32_t) override {
    if (log_) ++log_->stops;
    Misbehave(config_.stopFault);
    return config_.stopResult;
  }
  uint64_t __stdcall Third(uint32_t a, uint64_t b, uint32_t c) override {
    if (log_) {
      log_->thirdA = a;
      log_->thirdB = b;
      log_->thirdC = c;
    }
    return b + a + c;
  }

  // Data
  const tb::AudioFormat* __stdcall GetFormat(tb::AudioFormat* scratch) override {
    if (config_.nullFormat) return nullptr;
    if (config_.formatInOwnRecord || !scratch) return &config_.format;
    *scratch = config_.format;
    return scratch;
  }
  bool __stdcall Read(void* buffer, uint32_t size, uint32_t* length, int32_t* status,
                      tb::IError**) override {
    if (log_) {
      log_->readSizes.push_back(size);
      log_->lastReadBuffer = buffer;
    }
    *status = 7;
    size_t n = config_.data.size() - offset_;
    if (n > size) n = size;
    std::memcpy(buffer, config_.data.data() + offset_, n);
    offset_ += n;
    *length = static_cast<uint32_t>(n) + config_.overclaim;
    return true;
  }
  uint64_t __stdcall GetDataSize() override { return config_.data.size(); }

  // Position, in frames of the source's own format.
  uint64_t __stdcall GetPosition() override {
    return config_.fixedPositions ? config_.fixedPosition : offset_ / FrameBytes();
  }
  uint64_t __stdcall GetBlockAlign() override { return FrameBytes(); }
  uint64_t __stdcall GetLength() override {
    return config_.fixedPositions ? config_.fixedLength : config_.data.size() / FrameBytes();
  }

  // Sample query
  int32_t __stdcall QueryCount() override {
    return static_cast<int32_t>(config_.samplePositions.size());
  }
  int32_t __stdcall QuerySamplePosition(int32_t index) override {
    if (index < 0 || index >= QueryCount()) return -1;
    return config_.samplePositions[index];
  }

  // Tags
  const char* __stdcall GetTitle() override { return config_.title; }
  const char* __stdcall GetArtist() override { return config_.artist; }
  const char* __stdcall Album() override { return "album"; }
  uint64_t __stdcall Genre(uint32_t a, uint32_t b) override {
    if (log_) {
      log_->genreA = a;
      log_->genreB = b;
    }
    return (static_cast<uint64_t>(a) << 32) | b;
  }
  double __stdcall Year(double scale) override {
    if (log_) log_->yearScale = scale;
    return 1999.5 * scale;
  }

  // Seek
  bool __stdcall Seek(uint64_t position, int32_t argument) override {
    if (log_) {
      log_->seekPosition = position;
      log_->seekArgument = argument;
    }
    return true;
  }

  // File
  uint64_t __stdcall GetFileSize() override { return config_.data.size(); }
  const char* __stdcall GetFilePath() override { return config_.path; }

 private:
  size_t FrameBytes() const {
    size_t frame = static_cast<size_t>(config_.format.bitsPerSample / 8) * config_.format.channels;
    return frame ? frame : 1;
  }

  SourceConfig config_;
  SourceLog* log_;
  ULONG count_ = 1;
  IUnknown* outer_ = nullptr;
  size_t offset_ = 0;
};

// ---- Conversions --------------------------------------------------------------------

/// Converts 8- and 16-bit PCM between one and two channels and between sample rates in
/// whole ratios (repeating or dropping frames): enough to check real data end to end.
inline std::string ConvertPcm(const tb::AudioFormat& from, const tb::AudioFormat& to,
                              const std::string& in) {
  auto sampleAt = [&](size_t frame, int channel) -> int {
    size_t bytes = from.bitsPerSample / 8;
    size_t at = (frame * from.channels + (channel % from.channels)) * bytes;
    if (bytes == 1) return (static_cast<uint8_t>(in[at]) - 128) * 256;
    return static_cast<int16_t>(static_cast<uint8_t>(in[at]) |
                                (static_cast<uint8_t>(in[at + 1]) << 8));
  };
  size_t fromFrame = static_cast<size_t>(from.bitsPerSample / 8) * from.channels;
  size_t frames = in.size() / fromFrame;
  size_t outFrames = frames * to.sampleRate / from.sampleRate;
  std::string out;
  for (size_t i = 0; i < outFrames; ++i) {
    size_t src = i * from.sampleRate / to.sampleRate;
    for (int c = 0; c < to.channels; ++c) {
      int value = to.channels < from.channels ? (sampleAt(src, 0) + sampleAt(src, 1)) / 2
                                              : sampleAt(src, c);
      if (to.bitsPerSample == 8) {
        out.push_back(static_cast<char>((value >> 8) + 128));
      } else {
        out.push_back(static_cast<char>(value & 0xFF));
        out.push_back(static_cast<char>((value >> 8) & 0xFF));
      }
    }
  }
  return out;
}

struct ConversionLog {
  int created = 0;
  int prepared = 0;
  int32_t preparedWith = 0;
  int converts = 0;
  uint32_t lastConvertLength = 0;
  tb::AudioFormat lastFrom = {}, lastTo = {};
};

/// A conversion that really converts, or (with `fixed`) answers a given size and data.
class FakeConversion : public tb::IConversion, Tracked {
 public:
  FakeConversion(const tb::AudioFormat& from, const tb::AudioFormat& to, ConversionLog* log)
      : from_(from), to_(to), log_(log) {}
  bool fixed = false;
  int32_t fixedSize = 0;
  bool fixedNullData = false;

  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid != IID_IUnknown) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG __stdcall AddRef() override { return ++count_; }
  ULONG __stdcall Release() override {
    ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }
  bool __stdcall Convert(const void* data, uint32_t length, int32_t) override {
    if (log_) {
      ++log_->converts;
      log_->lastConvertLength = length;
    }
    if (fixed) {
      output_.assign(fixedSize > 0 ? fixedSize : 0, 'c');
    } else {
      output_ = ConvertPcm(from_, to_, std::string(static_cast<const char*>(data), length));
    }
    return true;
  }
  int32_t __stdcall GetOutputSize() override {
    return fixed ? fixedSize : static_cast<int32_t>(output_.size());
  }
  void* __stdcall GetOutputData() override {
    if (fixed && fixedNullData) return nullptr;
    return &output_[0];
  }

 private:
  ULONG count_ = 1;
  tb::AudioFormat from_, to_;
  ConversionLog* log_;
  std::string output_ = std::string(1, '\0');
};

struct ConvertorConfig {
  bool setup = false;        // answers IConvertorSetup
  bool createResult = true;  // CreateConversion's result
  bool createNull = false;   // succeeds without a conversion
  bool fixed = false;        // the conversion answers fixedSize bytes
  int32_t fixedSize = 0;
  bool fixedNullData = false;
};

class FakeConvertor : public tb::IConvertor, public tb::IConvertorSetup, Tracked {
 public:
  FakeConvertor(const ConvertorConfig& config, ConversionLog* log) : config_(config), log_(log) {}

  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == tb::iid_of<tb::IConvertor>()) {
      *out = static_cast<tb::IConvertor*>(this);
    } else if (iid == tb::iid_of<tb::IConvertorSetup>() && config_.setup) {
      *out = static_cast<tb::IConvertorSetup*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG __stdcall AddRef() override { return ++count_; }
  ULONG __stdcall Release() override {
    ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }
  bool __stdcall CanConvert(const tb::AudioFormat*, const tb::AudioFormat*) override {
    return true;
  }
  bool __stdcall CreateConversion(const tb::AudioFormat* from, const tb::AudioFormat* to,
                                  tb::IConversion** conversion, int32_t) override {
    if (log_) {
      ++log_->created;
      log_->lastFrom = *from;
      log_->lastTo = *to;
    }
    if (!config_.createResult) return false;
    if (config_.createNull) {
      *conversion = nullptr;
      return true;
    }
    FakeConversion* made = new FakeConversion(*from, *to, log_);
    made->fixed = config_.fixed;
    made->fixedSize = config_.fixedSize;
    made->fixedNullData = config_.fixedNullData;
    *conversion = made;
    return true;
  }
  bool __stdcall Prepare(int32_t value) override {
    if (log_) {
      ++log_->prepared;
      log_->preparedWith = value;
    }
    return true;
  }

 private:
  ULONG count_ = 1;
  ConvertorConfig config_;
  ConversionLog* log_;
};

// ---- Sinks --------------------------------------------------------------------------

struct SinkLog {
  int starts = 0;
  int stops = 0;
  std::string written;
  const void* lastWriteData = nullptr;
  uint32_t lastWriteLength = 0;
  int writes = 0;
  uint32_t thirdA = 0;
  uint64_t thirdB = 0;
  uint32_t thirdC = 0;
  bool destroyed = false;
};

struct SinkConfig {
  tb::AudioFormat format = {44100, 16, 2};
  bool lifetime = true, control = true, sinkData = true;
  bool delegates = true;
  bool attachResult = true;
  bool startResult = true, stopResult = true;
  Fault startFault = Fault::kNone, stopFault = Fault::kNone;
};

class FakeSink : public IFakeControl, public tb::ISinkData, public tb::ILifetime, Tracked {
 public:
  FakeSink(const SinkConfig& config, SinkLog* log) : config_(config), log_(log) {}
  ~FakeSink() override {
    if (log_) log_->destroyed = true;
  }
  IUnknown* unknown() { return static_cast<IFakeControl*>(this); }
  ULONG inner() const { return count_; }

  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (outer_ && config_.delegates) return outer_->QueryInterface(iid, out);
    return InnerQueryInterface(iid, out);
  }
  ULONG __stdcall AddRef() override {
    if (outer_ && config_.delegates) return outer_->AddRef();
    return InnerAddRef();
  }
  ULONG __stdcall Release() override {
    if (outer_ && config_.delegates) return outer_->Release();
    return InnerRelease();
  }
  bool __stdcall Attach(IUnknown* outer) override {
    if (!config_.attachResult) return false;
    outer_ = outer;
    return true;
  }
  bool __stdcall Detach() override {
    outer_ = nullptr;
    return true;
  }
  HRESULT __stdcall InnerQueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown) {
      *out = unknown();
    } else if (iid == tb::iid_of<tb::ISourceControl>() && config_.control) {
      *out = static_cast<IFakeControl*>(this);
    } else if (iid == tb::iid_of<tb::ISinkData>() && config_.sinkData) {
      *out = static_cast<tb::ISinkData*>(this);
    } else if (iid == tb::iid_of<tb::ILifetime>() && config_.lifetime) {
      *out = static_cast<tb::ILifetime*>(this);
    } else {
      return E_NOINTERFACE;
    }
    InnerAddRef();
    return S_OK;
  }
  ULONG __stdcall InnerAddRef() override { return ++count_; }
  ULONG __stdcall InnerRelease() override {
    ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }
  bool __stdcall Start(int32_t) override {
    if (log_) ++log_->starts;
    Misbehave(config_.startFault);
    return config_.startResult;
  }
  bool __stdcall Stop(int32_t) override {
    if (log_) ++log_->stops;
    Misbehave(config_.stopFault);
    return config_.stopResult;
  }
  uint64_t __stdcall Third(uint32_t a, uint64_t b, uint32_t c) override {
    if (log_) {
      log_->thirdA = a;
      log_->thirdB = b;
      log_->thirdC = c;
    }
    return b - a - c;
  }
  bool __stdcall Write(const void* data, uint32_t length, int32_t, tb::IError**) override {
    if (log_) {
      ++log_->writes;
      log_->lastWriteData = data;
      log_->lastWriteLength = length;
      log_->written.append(static_cast<const char*>(data), length);
    }
    return true;
  }
  tb::AudioFormat* __stdcall GetFormat(tb::AudioFormat* out) override {
    if (out) *out = config_.format;
    return out;
  }

 private:
  SinkConfig config_;
  SinkLog* log_;
  ULONG count_ = 1;
  IUnknown* outer_ = nullptr;
};

/// The host's sink creator: makes a FakeSink, or fails in the ways a creator can.
class FakeSinkCreator : public tb::ISinkCreator {
 public:
  enum class Mode { kCreate, kFail, kNoObject, kThrow };
  FakeSinkCreator(const SinkConfig& config, SinkLog* log, Mode mode = Mode::kCreate)
      : config_(config), log_(log), mode_(mode) {}
  int calls = 0;
  FakeSink* made = nullptr;

  void __stdcall Unused0() override {}
  void __stdcall Unused1() override {}
  bool __stdcall CreateSinkObject(IUnknown** sink, const tb::AudioFormat*, int32_t) override {
    ++calls;
    if (mode_ == Mode::kThrow) throw std::runtime_error("creator failure");
    if (mode_ == Mode::kFail) return false;
    if (mode_ == Mode::kNoObject) {
      *sink = nullptr;
      return true;
    }
    made = new FakeSink(config_, log_);
    *sink = made->unknown();
    return true;
  }

 private:
  SinkConfig config_;
  SinkLog* log_;
  Mode mode_;
};

// ---- Components ---------------------------------------------------------------------

/// How a decoder's Open behaves.
enum class OpenMode {
  kSucceed,         // a FakeSource in the slot
  kFail,            // false with an error object without verdict
  kFailFinal,       // false with an error object of verdict 1
  kFailNoError,     // false, no error object
  kThrow,           // a C++ exception
  kFault,           // an access violation
  kErrorThenThrow,  // stores an error object, then throws
  kTrueWithoutSource,
};

struct DecoderConfig {
  std::string name = "decoder";
  std::vector<std::string> extensions;
  uint32_t capabilities = tb::kCapabilityOpensSources;
  uint32_t features = tb::kOpenWithProxy;
  bool opener = true;
  bool extensionList = true;
  OpenMode open = OpenMode::kFail;
  uint32_t errorCode = 0x80000007;
  SourceConfig source;
};

class FakeDecoder : public tb::IComponent,
                    public tb::IExtensionList,
                    public tb::ISourceOpener,
                    Tracked {
 public:
  FakeDecoder(const DecoderConfig& config, std::vector<std::string>* calls,
              SourceLog* sourceLog = nullptr)
      : config_(config), calls_(calls), sourceLog_(sourceLog) {}
  ULONG count() const { return count_; }
  std::string openedName;

  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown) {
      *out = static_cast<tb::IComponent*>(this);
    } else if (iid == tb::iid_of<tb::ISourceOpener>() && config_.opener) {
      *out = static_cast<tb::ISourceOpener*>(this);
    } else if (iid == tb::iid_of<tb::IExtensionList>() && config_.extensionList) {
      *out = static_cast<tb::IExtensionList*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG __stdcall AddRef() override { return ++count_; }
  ULONG __stdcall Release() override {
    ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }
  const char* __stdcall GetName() override { return config_.name.c_str(); }
  int32_t __stdcall GetKind() override { return tb::kKindDecoder; }
  bool __stdcall Setup(tb::IManager*, tb::IError**) override { return true; }
  void __stdcall Shutdown() override {}
  int32_t __stdcall GetCount() override { return static_cast<int32_t>(config_.extensions.size()); }
  const char* __stdcall GetExtension(int32_t index) override {
    return config_.extensions[index].c_str();
  }
  uint32_t __stdcall GetFeatureMask() override { return config_.features; }
  uint32_t __stdcall GetCapabilities() override { return config_.capabilities; }
  bool __stdcall Open(const char* name, IUnknown** source, uint32_t, uint32_t,
                      tb::IError** error) override {
    if (calls_) calls_->push_back(config_.name);
    openedName = name;
    switch (config_.open) {
      case OpenMode::kSucceed:
        *source = (new FakeSource(config_.source, sourceLog_))->unknown();
        return true;
      case OpenMode::kFail:
        *error = new FakeError(config_.errorCode, FakeError::kNoVerdict);
        return false;
      case OpenMode::kFailFinal:
        *error = new FakeError(config_.errorCode, tb::kVerdictFinal);
        return false;
      case OpenMode::kFailNoError:
        return false;
      case OpenMode::kThrow:
        Misbehave(Fault::kThrow);
        return false;
      case OpenMode::kFault:
        Misbehave(Fault::kAccessViolation);
        return false;
      case OpenMode::kErrorThenThrow:
        *error = new FakeError(config_.errorCode, tb::kVerdictFinal);
        Misbehave(Fault::kThrow);
        return false;
      case OpenMode::kTrueWithoutSource:
        *source = nullptr;
        return true;
    }
    return false;
  }

 private:
  DecoderConfig config_;
  std::vector<std::string>* calls_;
  SourceLog* sourceLog_;
  ULONG count_ = 1;
};

/// A downloader component: copies `from` into `to` and answers `to`'s path, or
/// answers a path of its own making.
struct DownloaderConfig {
  uint32_t protocols = tb::kProtocolHttp;
  bool result = true;
  std::string from, to;       // the copy it makes
  std::string answer;         // used instead of `to` when not empty
  bool unterminated = false;  // writes 300 bytes without a terminator
  bool reportsError = false;  // stores an error object, whatever the result
};

class FakeDownloader : public tb::IComponent, public tb::IDownloader, Tracked {
 public:
  FakeDownloader(const DownloaderConfig& config, std::vector<std::string>* calls)
      : config_(config), calls_(calls) {}
  ULONG count() const { return count_; }

  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown) {
      *out = static_cast<tb::IComponent*>(this);
    } else if (iid == tb::iid_of<tb::IDownloader>()) {
      *out = static_cast<tb::IDownloader*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG __stdcall AddRef() override { return ++count_; }
  ULONG __stdcall Release() override {
    ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }
  const char* __stdcall GetName() override { return "downloader"; }
  int32_t __stdcall GetKind() override { return tb::kKindDownloader; }
  bool __stdcall Setup(tb::IManager*, tb::IError**) override { return true; }
  void __stdcall Shutdown() override {}
  uint32_t __stdcall GetProtocols() override { return config_.protocols; }
  bool __stdcall Download(const char* url, char* localPath, int32_t, tb::IError** error) override {
    if (calls_) calls_->push_back(std::string("download ") + url);
    if (config_.reportsError && error) *error = new FakeError(0x80000011, FakeError::kNoVerdict);
    if (!config_.result) return false;
    if (config_.unterminated) {
      std::memset(localPath, 'x', 300);
      return true;
    }
    if (!config_.from.empty() && !CopyFileA(config_.from.c_str(), config_.to.c_str(), FALSE)) {
      return false;
    }
    const std::string& answer = config_.answer.empty() ? config_.to : config_.answer;
    std::strncpy(localPath, answer.c_str(), tb::kLocalPathSize - 1);
    localPath[tb::kLocalPathSize - 1] = '\0';
    return true;
  }

 private:
  DownloaderConfig config_;
  std::vector<std::string>* calls_;
  ULONG count_ = 1;
};

}  // namespace source_fakes

#endif  // TB_TESTS_SOURCES_SOURCE_FAKES_H
