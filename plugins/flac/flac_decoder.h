// FLAC streams, native ("fLaC") and in Ogg, decoded by libFLAC.
#ifndef TB_PLUGINS_FLAC_FLAC_DECODER_H
#define TB_PLUGINS_FLAC_FLAC_DECODER_H

#include "plugins/codec/decoder.h"

namespace tb::flac {

/// Opens the FLAC stream in `reader`, which must outlive the decoder. Samples of 4 to
/// 32 bits come out in the next container width (8/16/24/32 bits), shifted up to fill
/// it; any channel count up to 8; the Vorbis comment's TITLE, ARTIST, ALBUM, GENRE and
/// DATE; a cue sheet's track starts as cue points.
codec::Opened OpenFlac(wav::ByteReader& reader);

}  // namespace tb::flac

#endif  // TB_PLUGINS_FLAC_FLAC_DECODER_H
