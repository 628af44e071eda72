#include "plugins/reference_test/reference_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>

#include "plugins/pcm/format.h"
#include "support/test_support.h"

namespace reftest {

const char* const kDecoderDll = "zqwave.dll";
const char* const kConvertorDll = "zqpcmconv.dll";
const char* const kWriterDll = "zqwavewriter.dll";

namespace {

struct Library {
  HMODULE module = nullptr;
  tb::GetPrimaryAudioObjectFn primary = nullptr;
  tb::ReadyToFinishFn ready = nullptr;
};

// Loaded once and never freed: a test that leaks an object must fail on its own
// count, not crash a later test inside unloaded code.
const Library& Load(const char* dll) {
  static std::map<std::string, Library> libraries;
  Library& library = libraries[dll];
  if (!library.module) {
    library.module = LoadLibraryA((tbtest::ExeFolder() + "plugins\\" + dll).c_str());
    if (library.module) {
      library.primary = reinterpret_cast<tb::GetPrimaryAudioObjectFn>(reinterpret_cast<void*>(
          GetProcAddress(library.module, TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT)));
      library.ready = reinterpret_cast<tb::ReadyToFinishFn>(
          reinterpret_cast<void*>(GetProcAddress(library.module, TB_ENTRY_READY_TO_FINISH)));
    }
  }
  return library;
}

void Put16(std::string* b, uint32_t v) {
  b->push_back(static_cast<char>(v & 0xFF));
  b->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string* b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Chunk(std::string* b, const char* id, const std::string& body) {
  b->append(id, 4);
  Put32(b, static_cast<uint32_t>(body.size()));
  *b += body;
  if (body.size() & 1) b->push_back('\0');
}

}  // namespace

com_ptr<tb::IComponent> PrimaryObject(const char* dll) {
  com_ptr<tb::IComponent> component;
  const Library& library = Load(dll);
  if (library.primary && !library.primary(component.put())) component.detach();
  return component;
}

bool ReadyToFinish(const char* dll) {
  const Library& library = Load(dll);
  return library.ready && library.ready();
}

Opener::Opener(IUnknown* component) {
  void* face = nullptr;
  if (component && SUCCEEDED(component->QueryInterface(tb::iid_of<tb::ISourceOpener>(), &face))) {
    // The pointer addresses the first table, which begins the ISourceOpener part.
    opener_ = static_cast<tb::ISourceOpener*>(static_cast<tb::ISourceOpenerOps*>(face));
  }
}

Opener::~Opener() {
  if (opener_) tb::opener_unknown(opener_)->Release();
}

com_ptr<IUnknown> OpenWave(const std::string& path, com_ptr<tb::IError>* error) {
  com_ptr<IUnknown> source;
  com_ptr<tb::IComponent> decoder = PrimaryObject(kDecoderDll);
  Opener opener(decoder.get());
  if (!opener) return source;
  tb::IError** slot = error ? error->put() : nullptr;
  if (!opener->Open(path.c_str(), source.put(), tb::kOpenWithProxy, 0, slot)) source.detach();
  return source;
}

std::string BuildWave(const WaveLayout& layout) {
  const uint32_t align = static_cast<uint32_t>(layout.channels * (layout.bits / 8));
  std::string fmt;
  Put16(&fmt, layout.extensible ? 0xFFFE : layout.formatTag);
  Put16(&fmt, static_cast<uint32_t>(layout.channels));
  Put32(&fmt, static_cast<uint32_t>(layout.rate));
  Put32(&fmt, static_cast<uint32_t>(layout.rate) * align);
  Put16(&fmt, align);
  Put16(&fmt, static_cast<uint32_t>(layout.bits));
  if (layout.extensible) {
    Put16(&fmt, 22);
    Put16(&fmt, static_cast<uint32_t>(layout.bits));
    Put32(&fmt, 0);
    const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    Put16(&fmt, layout.formatTag);
    fmt.append(reinterpret_cast<const char*>(tail), sizeof tail);
  }
  std::string body = "WAVE";
  Chunk(&body, "fmt ", fmt);
  if (!layout.info.empty()) {
    std::string list = "INFO";
    for (const auto& item : layout.info) Chunk(&list, item.first.c_str(), item.second + '\0');
    Chunk(&body, "LIST", list);
  }
  if (!layout.cues.empty()) {
    std::string cue;
    Put32(&cue, static_cast<uint32_t>(layout.cues.size()));
    for (size_t i = 0; i < layout.cues.size(); ++i) {
      Put32(&cue, static_cast<uint32_t>(i + 1));
      Put32(&cue, layout.cues[i]);
      cue += "data";
      Put32(&cue, 0);
      Put32(&cue, 0);
      Put32(&cue, layout.cues[i]);
    }
    Chunk(&body, "cue ", cue);
  }
  Chunk(&body, "data", std::string(layout.samples.begin(), layout.samples.end()));
  std::string file = "RIFF";
  Put32(&file, static_cast<uint32_t>(body.size()));
  return file + body;
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random() >> 24);
  return bytes;
}

void Put32(std::string* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool SameWithinOneStep(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int32_t bits) {
  if (a.size() != b.size()) return false;
  std::vector<double> x(a.size() / static_cast<size_t>(bits / 8)), y(x.size());
  tb::pcm::DecodeSamples(bits, a.data(), x.size(), x.data());
  tb::pcm::DecodeSamples(bits, b.data(), y.size(), y.data());
  const double most = std::max(std::ldexp(1.0, 1 - bits), 1e-8);
  for (size_t i = 0; i < x.size(); ++i) {
    if (std::fabs(x[i] - y[i]) > most) return false;
  }
  return true;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

::testing::AssertionResult ReadAll(IUnknown* source, uint32_t chunk, std::vector<uint8_t>* out) {
  com_ptr<tb::ISourceData> data = Query<tb::ISourceData>(source);
  com_ptr<tb::ISourcePosition> position = Query<tb::ISourcePosition>(source);
  if (!data || !position) return ::testing::AssertionFailure() << "no ISourceData/Position";
  const uint64_t align = position->GetBlockAlign();
  const size_t kGuard = 64;
  std::vector<uint8_t> buffer(chunk + kGuard);
  for (int reads = 0;; ++reads) {
    if (reads > 10000000) return ::testing::AssertionFailure() << "the source never ended";
    std::memset(buffer.data(), 0xA5, buffer.size());
    uint32_t length = 0xFFFFFFFF;
    int32_t status = -1;
    com_ptr<tb::IError> error;
    if (!data->Read(buffer.data(), chunk, &length, &status, error.put())) {
      return ::testing::AssertionFailure()
             << "Read failed after " << out->size()
             << " bytes: " << (error ? error->GetMessage() : "(no error object)");
    }
    if (status != 0) return ::testing::AssertionFailure() << "status " << status;
    if (length > chunk) return ::testing::AssertionFailure() << "length " << length;
    if (align == 0 || length % align != 0) {
      return ::testing::AssertionFailure() << "partial frame: " << length << " bytes";
    }
    for (size_t i = chunk; i < buffer.size(); ++i) {
      if (buffer[i] != 0xA5) return ::testing::AssertionFailure() << "wrote past the size";
    }
    if (length == 0) break;
    out->insert(out->end(), buffer.begin(), buffer.begin() + length);
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult IsError(tb::IError* error, uint32_t code, const std::string& text) {
  if (!error) return ::testing::AssertionFailure() << "no error object";
  const std::string message = error->GetMessage();
  if (error->GetCode() != code) {
    return ::testing::AssertionFailure() << "code 0x" << std::hex << error->GetCode()
                                         << ", expected 0x" << code << " (" << message << ")";
  }
  if (message.find(text) == std::string::npos) {
    return ::testing::AssertionFailure()
           << "message \"" << message << "\" lacks \"" << text << "\"";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace reftest
