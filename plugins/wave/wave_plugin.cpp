// zqwave.dll: the WAVE decoder, the SDK's worked example of a decoder plug-in.
//
// The library's primary audio object is one decoder component (kind 3). The manager
// sets it up, lists it in its catalogue and, for a file whose extension is "wav" or
// "wave" (and later for every other file too), asks its ISourceOpener to open it. The
// component is the reference plug-ins' shared one (plugins/common/decoder_component.h);
// the source objects live in wave_source.cpp.
#include "plugins/common/decoder_component.h"
#include "plugins/wave/wave_source.h"

namespace {

const char* const kExtensions[] = {"wav", "wave"};

const tb::plugin::DecoderTraits kTraits = {
    "WAVE decoder",
    // The component's class identifier: what the user's decoder order stores for it.
    {0x80656E48, 0x0033, 0x4B3B, {0xBA, 0x45, 0x56, 0xE3, 0xE5, 0x31, 0x0C, 0xA7}},
    kExtensions,
    static_cast<int32_t>(sizeof kExtensions / sizeof kExtensions[0]),
};

tb::ISourceData* OpenWave(const char* path, tb::IError** error) noexcept {
  return tb::wave::WaveSource::Open(path, error);
}

}  // namespace

// Each call makes a new component with one reference, which passes to the caller.
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  if (!out) return false;
  *out = tb::plugin::NewDecoderComponent(kTraits, OpenWave);
  return *out != nullptr;
}

// True only when nothing of this library is alive but the catalogue's component
// reference (plugins/common/live_objects.h).
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return tb::plugin::NoLiveObjects(); }
