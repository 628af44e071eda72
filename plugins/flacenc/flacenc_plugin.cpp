// zqflacenc.dll: the FLAC encoder, on libFLAC (linked statically; its licence travels in
// licences/). One encoder component (kind 4) that makes file sinks through ISinkFactory,
// as the WAVE writer does; the sinks live in flac_sink.cpp.
#include "plugins/common/encoder_component.h"
#include "plugins/flacenc/flac_sink.h"

namespace {

const char* const kExtensions[] = {"flac"};

const tb::plugin::EncoderTraits kTraits = {
    "FLAC encoder",
    kExtensions,
    static_cast<int32_t>(sizeof kExtensions / sizeof kExtensions[0]),
};

}  // namespace

// Each call makes a new component with one reference, which passes to the caller.
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  return tb::plugin::NewEncoderComponent<tb::flacenc::FlacSink>(kTraits, out);
}

TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return tb::plugin::NoLiveObjects(); }
