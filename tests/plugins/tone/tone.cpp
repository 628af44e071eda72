// zqtone.dll: a small real plug-in for the end-to-end tests of source resolution and
// the proxies. Its primary object is a collection of three components:
//
// - "Tone decoder" (kind 3, extension "tone", feature mask kOpenWithProxy): opens
//   files of 16 bytes of header ("TONE", then sample rate, bits per sample and channels
//   as 32-bit little-endian integers) followed by PCM data. Its sources offer tags
//   without texts, so hosts see artist and title from the file name, and IFileInfo.
// - "Tone convertor" (kind 5): converts 8- and 16-bit PCM between one and two channels
//   and between sample rates, by the nearest earlier frame.
// - "Copy downloader" (kind 6, http): "downloads" http://any/NAME by copying the file
//   NAME from the plug-in's own folder into the temporary folder.
//
// ORVA_PLUGIN_ReadyToFinish answers true once no source or conversion is alive.
#include <windows.h>

#include <tunebay/tunebay.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

HMODULE g_module = nullptr;
LONG g_liveObjects = 0;  // sources and conversions

constexpr uint32_t kBadFormat = 0x80000009u;
constexpr uint32_t kOpenFailed = 0x80000007u;

// ---- A counted error object of the plug-in's own -----------------------------------

class ToneError final : public tb::IError {
 public:
  explicit ToneError(uint32_t code) : code_(code) {}
  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != tb::iid_of<tb::IError>()) return E_NOINTERFACE;
    *out = static_cast<tb::IError*>(this);
    AddRef();
    return S_OK;
  }
  ULONG __stdcall AddRef() override { return InterlockedIncrement(&count_); }
  ULONG __stdcall Release() override {
    LONG left = InterlockedDecrement(&count_);
    if (left == 0) delete this;
    return left;
  }
  const char* __stdcall GetMessage() override { return ""; }
  uint32_t __stdcall GetCode() override { return code_; }
  uint32_t __stdcall GetSystemError() override { return 0; }

 private:
  LONG count_ = 1;
  uint32_t code_;
};

void Report(tb::IError** error, uint32_t code) {
  if (error) *error = new (std::nothrow) ToneError(code);
}

int32_t ReadInt(const char* p) {
  return static_cast<int32_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8) |
                              (static_cast<uint8_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(p[3])) << 24));
}

bool ReadWholeFile(const char* path, std::string& bytes) {
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(file, nullptr);
  bytes.assign(size, '\0');
  DWORD got = 0;
  bool ok = size == 0 || (ReadFile(file, &bytes[0], size, &got, nullptr) && got == size);
  CloseHandle(file);
  return ok;
}

// ---- Sources ----------------------------------------------------------------------

// Counts through its outer object once attached, as ILifetime asks.
class ToneSource final : public tb::ISourceControl,
                         public tb::ISourceData,
                         public tb::ISourcePosition,
                         public tb::ITagInfo,
                         public tb::ISourceSeek,
                         public tb::IFileInfo,
                         public tb::ILifetime {
 public:
  ToneSource(const char* path, const tb::AudioFormat& format, std::string data)
      : path_(path), format_(format), data_(std::move(data)) {
    InterlockedIncrement(&g_liveObjects);
  }
  ~ToneSource() { InterlockedDecrement(&g_liveObjects); }

  IUnknown* unknown() { return static_cast<tb::ISourceControl*>(this); }

  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    return outer_ ? outer_->QueryInterface(iid, out) : InnerQueryInterface(iid, out);
  }
  ULONG __stdcall AddRef() override { return outer_ ? outer_->AddRef() : InnerAddRef(); }
  ULONG __stdcall Release() override { return outer_ ? outer_->Release() : InnerRelease(); }

  bool __stdcall Attach(IUnknown* outer) override {
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
    if (iid == IID_IUnknown || iid == tb::iid_of<tb::ISourceControl>()) {
      *out = static_cast<tb::ISourceControl*>(this);
    } else if (iid == tb::iid_of<tb::ISourceData>()) {
      *out = static_cast<tb::ISourceData*>(this);
    } else if (iid == tb::iid_of<tb::ISourcePosition>()) {
      *out = static_cast<tb::ISourcePosition*>(this);
    } else if (iid == tb::iid_of<tb::ITagInfo>()) {
      *out = static_cast<tb::ITagInfo*>(this);
    } else if (iid == tb::iid_of<tb::ISourceSeek>()) {
      *out = static_cast<tb::ISourceSeek*>(this);
    } else if (iid == tb::iid_of<tb::IFileInfo>()) {
      *out = static_cast<tb::IFileInfo*>(this);
    } else if (iid == tb::iid_of<tb::ILifetime>()) {
      *out = static_cast<tb::ILifetime*>(this);
    } else {
      return E_NOINTERFACE;
    }
    InnerAddRef();
    return S_OK;
  }
  ULONG __stdcall InnerAddRef() override { return InterlockedIncrement(&count_); }
  ULONG __stdcall InnerRelease() override {
    LONG left = InterlockedDecrement(&count_);
    if (left == 0) delete this;
    return left;
  }

  bool __stdcall Start(int32_t) override {
    started_ = true;
    return true;
  }
  bool __stdcall Stop(int32_t) override {
    started_ = false;
    return true;
  }
  uint32_t __stdcall GetState() override { return started_ ? 1 : 0; }

  const tb::AudioFormat* __stdcall GetFormat(tb::AudioFormat* scratch) override {
    if (!scratch) return &format_;
    *scratch = format_;
    return scratch;
  }
  bool __stdcall Read(void* buffer, uint32_t size, uint32_t* length, int32_t*,
                      tb::IError** error) override {
    if (!buffer || !length) {
      Report(error, 0x80000001u);
      return false;
    }
    size_t n = data_.size() - offset_;
    if (n > size) n = size;
    n -= n % FrameBytes();
    std::memcpy(buffer, data_.data() + offset_, n);
    offset_ += n;
    *length = static_cast<uint32_t>(n);
    return true;
  }
  uint64_t __stdcall GetDataSize() override { return data_.size(); }

  uint64_t __stdcall GetPosition() override { return offset_ / FrameBytes(); }
  uint64_t __stdcall GetBlockAlign() override { return FrameBytes(); }
  uint64_t __stdcall GetLength() override { return data_.size() / FrameBytes(); }

  // The format carries no tags: hosts get them from the file name.
  const char* __stdcall GetTitle() override { return nullptr; }
  const char* __stdcall GetArtist() override { return nullptr; }
  const char* __stdcall GetAlbum() override { return nullptr; }
  const char* __stdcall GetGenre() override { return nullptr; }
  int32_t __stdcall GetYear() override { return 0; }

  bool __stdcall Seek(uint64_t frame, int32_t) override {
    if (frame > GetLength()) return false;
    offset_ = static_cast<size_t>(frame) * FrameBytes();
    return true;
  }

  uint64_t __stdcall GetFileSize() override { return data_.size() + 16; }
  const char* __stdcall GetFilePath() override { return path_.c_str(); }

 private:
  size_t FrameBytes() const {
    size_t frame = static_cast<size_t>(format_.bitsPerSample / 8) * format_.channels;
    return frame ? frame : 1;
  }

  LONG count_ = 1;
  IUnknown* outer_ = nullptr;
  std::string path_;
  tb::AudioFormat format_;
  std::string data_;
  size_t offset_ = 0;
  bool started_ = false;
};

// ---- Conversions ------------------------------------------------------------------

bool Convertible(const tb::AudioFormat& f) {
  return (f.bitsPerSample == 8 || f.bitsPerSample == 16) && (f.channels == 1 || f.channels == 2) &&
         f.sampleRate > 0 && f.sampleRate <= 1000000;
}

class ToneConversion final : public tb::IConversion {
 public:
  ToneConversion(const tb::AudioFormat& from, const tb::AudioFormat& to) : from_(from), to_(to) {
    InterlockedIncrement(&g_liveObjects);
  }
  ~ToneConversion() { InterlockedDecrement(&g_liveObjects); }

  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid != IID_IUnknown) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG __stdcall AddRef() override { return InterlockedIncrement(&count_); }
  ULONG __stdcall Release() override {
    LONG left = InterlockedDecrement(&count_);
    if (left == 0) delete this;
    return left;
  }

  bool __stdcall Convert(const void* data, uint32_t length, int32_t) override {
    const uint8_t* in = static_cast<const uint8_t*>(data);
    const size_t inFrame = static_cast<size_t>(from_.bitsPerSample / 8) * from_.channels;
    const size_t frames = in ? length / inFrame : 0;
    const size_t outFrames =
        static_cast<size_t>(static_cast<uint64_t>(frames) * to_.sampleRate / from_.sampleRate);
    out_.clear();
    for (size_t i = 0; i < outFrames; ++i) {
      const size_t frame =
          static_cast<size_t>(static_cast<uint64_t>(i) * from_.sampleRate / to_.sampleRate);
      const uint8_t* p = in + frame * inFrame;
      int left = Sample(p, 0), right = Sample(p, from_.channels - 1);
      for (int c = 0; c < to_.channels; ++c) {
        int value = to_.channels == 1 ? (left + right) / 2 : (c == 0 ? left : right);
        if (to_.bitsPerSample == 8) {
          out_.push_back(static_cast<uint8_t>((value >> 8) + 128));
        } else {
          out_.push_back(static_cast<uint8_t>(value & 0xFF));
          out_.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
        }
      }
    }
    return true;
  }
  int32_t __stdcall GetOutputSize() override { return static_cast<int32_t>(out_.size()); }
  void* __stdcall GetOutputData() override { return out_.empty() ? nullptr : out_.data(); }

 private:
  int Sample(const uint8_t* frame, int channel) const {
    if (from_.bitsPerSample == 8) return (frame[channel] - 128) * 256;
    return static_cast<int16_t>(frame[channel * 2] | (frame[channel * 2 + 1] << 8));
  }

  LONG count_ = 1;
  tb::AudioFormat from_, to_;
  std::vector<uint8_t> out_;
};

// ---- Components -------------------------------------------------------------------

// The parts every component shares: a count and IComponent.
template <class... Faces>
class Component : public tb::IComponent, public Faces... {
 public:
  Component(const char* name, int32_t kind) : name_(name), kind_(kind) {}
  virtual ~Component() = default;
  ULONG __stdcall AddRef() override { return InterlockedIncrement(&count_); }
  ULONG __stdcall Release() override {
    LONG left = InterlockedDecrement(&count_);
    if (left == 0) delete this;
    return left;
  }
  const char* __stdcall GetName() override { return name_; }
  int32_t __stdcall GetKind() override { return kind_; }
  bool __stdcall Setup(tb::IManager*, tb::IError**) override { return true; }
  void __stdcall Shutdown() override {}

 protected:
  HRESULT Answer(void* face, void** out) {
    *out = face;
    AddRef();
    return S_OK;
  }

 private:
  LONG count_ = 1;
  const char* name_;
  int32_t kind_;
};

class ToneDecoder : public Component<tb::IExtensionList, tb::ISourceOpener> {
 public:
  ToneDecoder() : Component("Tone decoder", tb::kKindDecoder) {}
  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown) return Answer(static_cast<tb::IComponent*>(this), out);
    if (iid == tb::iid_of<tb::IExtensionList>()) {
      return Answer(static_cast<tb::IExtensionList*>(this), out);
    }
    if (iid == tb::iid_of<tb::ISourceOpener>()) {
      return Answer(static_cast<tb::ISourceOpener*>(this), out);
    }
    return E_NOINTERFACE;
  }
  int32_t __stdcall GetCount() override { return 1; }
  const char* __stdcall GetExtension(int32_t index) override {
    return index == 0 ? "tone" : nullptr;
  }
  uint32_t __stdcall GetFeatureMask() override { return tb::kOpenWithProxy; }
  uint32_t __stdcall GetCapabilities() override { return tb::kCapabilityOpensSources; }
  bool __stdcall Open(const char* name, IUnknown** source, uint32_t, uint32_t,
                      tb::IError** error) override {
    std::string bytes;
    if (!name || !source || !ReadWholeFile(name, bytes)) {
      Report(error, kOpenFailed);
      return false;
    }
    if (bytes.size() < 16 || bytes.compare(0, 4, "TONE") != 0) {
      Report(error, kBadFormat);
      return false;
    }
    const tb::AudioFormat format = {ReadInt(&bytes[4]), ReadInt(&bytes[8]), ReadInt(&bytes[12])};
    ToneSource* made = new (std::nothrow) ToneSource(name, format, bytes.substr(16));
    if (!made) return false;
    *source = made->unknown();
    return true;
  }
};

class ToneConvertor : public Component<tb::IConvertor> {
 public:
  ToneConvertor() : Component("Tone convertor", tb::kKindConvertor) {}
  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown) return Answer(static_cast<tb::IComponent*>(this), out);
    if (iid == tb::iid_of<tb::IConvertor>()) return Answer(static_cast<tb::IConvertor*>(this), out);
    return E_NOINTERFACE;
  }
  bool __stdcall CanConvert(const tb::AudioFormat* from, const tb::AudioFormat* to) override {
    return from && to && Convertible(*from) && Convertible(*to);
  }
  bool __stdcall CreateConversion(const tb::AudioFormat* from, const tb::AudioFormat* to,
                                  tb::IConversion** conversion, int32_t) override {
    if (!conversion || !CanConvert(from, to)) return false;
    *conversion = new (std::nothrow) ToneConversion(*from, *to);
    return *conversion != nullptr;
  }
};

class CopyDownloader : public Component<tb::IDownloader> {
 public:
  CopyDownloader() : Component("Copy downloader", tb::kKindDownloader) {}
  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown) return Answer(static_cast<tb::IComponent*>(this), out);
    if (iid == tb::iid_of<tb::IDownloader>()) {
      return Answer(static_cast<tb::IDownloader*>(this), out);
    }
    return E_NOINTERFACE;
  }
  uint32_t __stdcall GetProtocols() override { return tb::kProtocolHttp; }
  bool __stdcall Download(const char* url, char* localPath, int32_t, tb::IError** error) override {
    const char* slash = url ? std::strrchr(url, '/') : nullptr;
    char folder[MAX_PATH];
    DWORD n = GetModuleFileNameA(g_module, folder, MAX_PATH);
    char temp[MAX_PATH];
    DWORD t = GetTempPathA(MAX_PATH, temp);
    if (!slash || !slash[1] || n == 0 || n >= MAX_PATH || t == 0 || t >= MAX_PATH) {
      Report(error, kOpenFailed);
      return false;
    }
    std::string from(folder, n);
    from = from.substr(0, from.find_last_of('\\') + 1) + (slash + 1);
    const std::string to = std::string(temp) + "zqtone-" + (slash + 1);
    if (to.size() >= tb::kLocalPathSize || !CopyFileA(from.c_str(), to.c_str(), FALSE)) {
      Report(error, kOpenFailed);
      return false;
    }
    std::memcpy(localPath, to.c_str(), to.size() + 1);
    return true;
  }
};

class ToneCollection : public Component<tb::IComponentCollection> {
 public:
  ToneCollection() : Component("Tone plug-in", tb::kKindCollection) {
    items_[0] = new ToneDecoder();
    items_[1] = new ToneConvertor();
    items_[2] = new CopyDownloader();
  }
  ~ToneCollection() override {
    for (tb::IComponent* item : items_) item->Release();
  }
  HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown) return Answer(static_cast<tb::IComponent*>(this), out);
    if (iid == tb::iid_of<tb::IComponentCollection>()) {
      return Answer(static_cast<tb::IComponentCollection*>(this), out);
    }
    return E_NOINTERFACE;
  }
  int32_t __stdcall GetCount() override { return 3; }
  bool __stdcall GetItem(int32_t index, tb::IComponent** item) override {
    if (!item || index < 0 || index >= 3) return false;
    *item = items_[index];
    (*item)->AddRef();
    return true;
  }

 private:
  tb::IComponent* items_[3];
};

}  // namespace

extern "C" bool __cdecl ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) {
  if (!out) return false;
  *out = new (std::nothrow) ToneCollection();
  return *out != nullptr;
}

extern "C" bool __cdecl ORVA_PLUGIN_ReadyToFinish() {
  return InterlockedCompareExchange(&g_liveObjects, 0, 0) == 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}
