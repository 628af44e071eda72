// zqflac.dll: the FLAC decoder, native FLAC files and FLAC in Ogg, on libFLAC (linked
// statically; its licence travels in licences/).
#include "plugins/codec/codec_component.h"
#include "plugins/flac/flac_decoder.h"

namespace {

const char* const kExtensions[] = {"flac", "fla", "oga"};

const tb::codec::DecoderTraits kTraits = {
    "FLAC decoder",
    "FLAC",
    {0x5C1F0D2A, 0x7B4E, 0x4C61, {0x9E, 0x2D, 0x41, 0x8A, 0x6B, 0x03, 0xF7, 0x52}},
    kExtensions,
    static_cast<int32_t>(sizeof kExtensions / sizeof kExtensions[0]),
};

}  // namespace

TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  if (!out) return false;
  *out = tb::codec::NewDecoderComponent(kTraits, tb::flac::OpenFlac);
  return *out != nullptr;
}

TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return tb::plugin::NoLiveObjects(); }
