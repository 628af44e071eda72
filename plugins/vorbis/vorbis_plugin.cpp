// zqvorbis.dll: the Ogg Vorbis decoder, on libvorbis and libogg (linked statically;
// their licences travel in licences/).
#include "plugins/codec/codec_component.h"
#include "plugins/vorbis/vorbis_decoder.h"

namespace {

const char* const kExtensions[] = {"ogg", "oga"};

const tb::codec::DecoderTraits kTraits = {
    "Ogg Vorbis decoder",
    "Ogg Vorbis",
    {0x2E8B4A71, 0x0D3C, 0x4F95, {0xA6, 0x17, 0xC4, 0x5E, 0x90, 0x2B, 0x6D, 0x38}},
    kExtensions,
    static_cast<int32_t>(sizeof kExtensions / sizeof kExtensions[0]),
};

}  // namespace

TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  if (!out) return false;
  *out = tb::codec::NewDecoderComponent(kTraits, tb::vorbis::OpenVorbis);
  return *out != nullptr;
}

TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return tb::plugin::NoLiveObjects(); }
