// MPEG-1, 2 and 2.5 layer III streams, decoded by libmpg123.
#ifndef TB_PLUGINS_MP3_MP3_DECODER_H
#define TB_PLUGINS_MP3_MP3_DECODER_H

#include <cstdint>
#include <memory>

#include "plugins/codec/decoder.h"
#include "plugins/mp3/mpg123_api.h"

namespace tb::mp3 {

/// The signature test: after an ID3v2 tag (if any) and at most a little junk, three
/// consecutive layer III frame headers that agree on version and rate. Random data and
/// other formats behind an ID3v2 tag fail it.
bool LooksLikeMp3(wav::ByteReader& reader);

/// Opens the MP3 stream in `reader` (which must outlive the decoder) with the library
/// in `api`. Output is 16- or 24-bit PCM (`bits`), rounded from the library's floats by
/// the convertor's rule; the encoder's delay and padding named by a LAME/Xing header are
/// trimmed. The length is exact: the header's frame count where the file's size bears
/// it out, otherwise a scan of the frames. Tags come from ID3v2, else ID3v1.
codec::Opened OpenMp3(std::shared_ptr<const Mpg123Api> api, wav::ByteReader& reader, int32_t bits);

}  // namespace tb::mp3

#endif  // TB_PLUGINS_MP3_MP3_DECODER_H
