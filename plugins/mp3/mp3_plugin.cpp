// zqmp3.dll: the MP3 decoder, on libmpg123. That library is LGPL, so it is not linked
// in: it ships as libmpg123.dll beside this file (the manager does not scan it, its name
// lacks the plug-in prefix), which a user may replace, and each component loads it by
// full path from this file's folder when it first opens a file.

#include "base/lock.h"
#include "plugins/codec/codec_component.h"
#include "plugins/mp3/mp3_decoder.h"

namespace {

const char* const kExtensions[] = {"mp3"};

const tb::codec::DecoderTraits kTraits = {
    "MP3 decoder",
    "MP3",
    {0x9A41C6E3, 0x5F28, 0x4B7D, {0x83, 0x0E, 0x6C, 0xD1, 0x4A, 0x97, 0x25, 0xBF}},
    kExtensions,
    static_cast<int32_t>(sizeof kExtensions / sizeof kExtensions[0]),
};

// The decoder writes 24 bits, rounded from the library's float synthesis; a host that
// wants 16 bits gets them from the convertor, dithered by its rule, as every other
// 24-bit source is.
const int32_t kOutputBits = 24;

// One component's hold on the library: loaded on first use, freed with the component
// and the last source that decodes with it (each holds the table).
class Library {
 public:
  tb::codec::Opened Open(tb::wav::ByteReader& reader) {
    std::shared_ptr<const tb::mp3::Mpg123Api> api;
    std::string why;
    {
      tb::LockGuard hold(lock_);
      if (!api_) api_ = tb::mp3::LoadMpg123(tb::mp3::Mpg123PathBesideThisModule(), &error_);
      api = api_;
      why = error_;
    }
    if (!api) {
      // Without the library nothing can be said about the file: not a verdict.
      tb::codec::Opened refused;
      refused.error = why;
      refused.unavailable = true;
      return refused;
    }
    return tb::mp3::OpenMp3(std::move(api), reader, kOutputBits);
  }

 private:
  tb::RecursiveLock lock_;
  std::shared_ptr<const tb::mp3::Mpg123Api> api_;
  std::string error_;
};

}  // namespace

TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  if (!out) return false;
  try {
    auto library = std::make_shared<Library>();
    *out = tb::codec::NewDecoderComponent(
        kTraits, [library](tb::wav::ByteReader& reader) { return library->Open(reader); });
  } catch (...) {
    *out = nullptr;
  }
  return *out != nullptr;
}

TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return tb::plugin::NoLiveObjects(); }
