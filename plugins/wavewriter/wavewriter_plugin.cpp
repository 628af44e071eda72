// zqwavewriter.dll: the WAVE writer, the SDK's worked example of an encoder plug-in.
//
// The library's primary audio object is one encoder component (kind 4). The manager
// only catalogues it; a host asks it for a sink through ISinkFactory
// (include/tunebay/encoder.h), usually from the ISinkCreator it hands to
// IManager::CreateSink, which wraps the sink in the library's sink proxy. The component
// is the reference plug-ins' shared one (plugins/common/encoder_component.h); the sink
// objects live in wave_sink.cpp.
#include "plugins/common/encoder_component.h"
#include "plugins/wavewriter/wave_sink.h"

namespace {

// The extensions of the files this encoder writes, so that a host can pick the
// encoder for an output file by its name.
const char* const kExtensions[] = {"wav", "wave"};

const tb::plugin::EncoderTraits kTraits = {
    "WAVE writer",
    kExtensions,
    static_cast<int32_t>(sizeof kExtensions / sizeof kExtensions[0]),
};

}  // namespace

// Each call makes a new component with one reference, which passes to the caller.
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  return tb::plugin::NewEncoderComponent<tb::wavewriter::WaveSink>(kTraits, out);
}

// True only when nothing of this library is alive but the catalogue's component
// reference (plugins/common/live_objects.h).
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return tb::plugin::NoLiveObjects(); }
