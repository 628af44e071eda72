// The decoder's platform-free helpers: a quick look at a file the WAVE parser refused,
// to tell "a WAVE file this decoder should read but which is broken" from "something
// another decoder may know", and the year of a creation-date tag.
#ifndef TB_PLUGINS_WAVE_WAVE_PROBE_H
#define TB_PLUGINS_WAVE_WAVE_PROBE_H

#include <cstdint>
#include <string>

#include "plugins/wav/byte_io.h"

namespace tb::wave {

enum class FileKind {
  kNotWave,          ///< no RIFF WAVE header: another decoder's file, perhaps
  kForeignEncoding,  ///< RIFF WAVE, but its fmt chunk names an encoding or sample size
                     ///< this decoder does not read (compressed, 12-bit...)
  kOwnEncoding,      ///< RIFF WAVE of integer PCM in 8/16/24/32 bits or float in 32/64
                     ///< bits, or no fmt chunk found
};

/// Walks the chunk headers (never reading outside the stream) to the first fmt chunk.
FileKind ProbeFileKind(wav::ByteReader& reader);

/// The year in a creation-date text: its leading decimal digits after any spaces
/// ("1999-05-01" gives 1999), 0 when there are none or the number passes 999999999.
int32_t YearFromDate(const std::string& date);

}  // namespace tb::wave

#endif  // TB_PLUGINS_WAVE_WAVE_PROBE_H
