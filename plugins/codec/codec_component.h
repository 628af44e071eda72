// The decoder component of a codec plug-in library: the reference plug-ins' decoder
// component (plugins/common/decoder_component.h) opening CodecSource objects, with the
// codec, its names and its extensions supplied by the library.
#ifndef TB_PLUGINS_CODEC_CODEC_COMPONENT_H
#define TB_PLUGINS_CODEC_CODEC_COMPONENT_H

#include <tunebay/component.h>

#include "plugins/codec/codec_source.h"

namespace tb::codec {

struct DecoderTraits {
  const char* name;  ///< the component's name, "FLAC decoder"
  const char* kind;  ///< the format in messages, "FLAC"
  GUID classId;      ///< what the user's decoder order stores for the component
  const char* const* extensions;
  int32_t extensionCount;
};

/// A new decoder component with one reference (the catalogue's), or null when out of
/// memory. `open` makes the decoder for each file.
IComponent* NewDecoderComponent(const DecoderTraits& traits, OpenFunction open) noexcept;

}  // namespace tb::codec

#endif  // TB_PLUGINS_CODEC_CODEC_COMPONENT_H
