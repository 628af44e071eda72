// The decoder component of a reference plug-in library: IComponent, ISourceOpener,
// IExtensionList, IComponentIdentity and IComponentAbout, with the names, the
// extensions and the opening of a file supplied by the library. The WAVE decoder and
// the codec decoders (FLAC, Ogg Vorbis, MP3) are all this component.
#ifndef TB_PLUGINS_COMMON_DECODER_COMPONENT_H
#define TB_PLUGINS_COMMON_DECODER_COMPONENT_H

#include <tunebay/component.h>
#include <windows.h>

#include <functional>
#include <string>

#include "base/com.h"
#include "plugins/common/live_objects.h"
#include "plugins/common/plugin_error.h"

namespace tb::plugin {

/// What a decoder library supplies.
struct DecoderTraits {
  const char* name;  ///< the component's name, "FLAC decoder"
  GUID classId;      ///< what the user's decoder order stores for the component
  const char* const* extensions;
  int32_t extensionCount;
};

/// Opens the file `path` as a source with one reference for the caller; null, with the
/// error slot filled, when it cannot.
using SourceOpenFunction = std::function<ISourceData*(const char* path, IError** error)>;

/// A new decoder component with one reference (the catalogue's), or null when out of
/// memory.
IComponent* NewDecoderComponent(const DecoderTraits& traits, SourceOpenFunction open) noexcept;

}  // namespace tb::plugin

#endif  // TB_PLUGINS_COMMON_DECODER_COMPONENT_H
