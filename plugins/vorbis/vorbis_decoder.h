// Ogg Vorbis streams, decoded by libvorbisfile.
#ifndef TB_PLUGINS_VORBIS_VORBIS_DECODER_H
#define TB_PLUGINS_VORBIS_VORBIS_DECODER_H

#include "plugins/codec/decoder.h"

namespace tb::vorbis {

/// Opens the Ogg Vorbis stream in `reader`, which must outlive the decoder. The output is
/// 16-bit PCM with the channels in WAVE order; the comments' TITLE, ARTIST, ALBUM, GENRE
/// and DATE are the tags. A chained file whose later links change the rate or channel
/// count is read up to the change, which then fails with an error.
codec::Opened OpenVorbis(wav::ByteReader& reader);

}  // namespace tb::vorbis

#endif  // TB_PLUGINS_VORBIS_VORBIS_DECODER_H
