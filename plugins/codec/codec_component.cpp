#include "plugins/codec/codec_component.h"

#include "plugins/common/decoder_component.h"

namespace tb::codec {

IComponent* NewDecoderComponent(const DecoderTraits& traits, OpenFunction open) noexcept {
  try {
    const plugin::DecoderTraits common = {traits.name, traits.classId, traits.extensions,
                                          traits.extensionCount};
    const char* kind = traits.kind;
    return plugin::NewDecoderComponent(
        common, [kind, open = std::move(open)](const char* path, IError** error) -> ISourceData* {
          return CodecSource::Open(path, kind, open, error);
        });
  } catch (...) {
    return nullptr;
  }
}

}  // namespace tb::codec
