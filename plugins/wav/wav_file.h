// RIFF WAVE files of integer PCM (and, for reading, IEEE floating point): what the
// parser finds in one, and the writer.
//
// A file is "RIFF" <size> "WAVE" followed by chunks, each a four-character id, a 32-bit
// little-endian size and that many bytes plus a pad byte when the size is odd. The
// parser reads the "fmt " chunk (PCM or IEEE float, or WAVE_FORMAT_EXTENSIBLE with either
// sub-format), the "data" chunk's place, the LIST "INFO" tags and the "cue " points, and
// skips every other chunk.
#ifndef TB_PLUGINS_WAV_WAV_FILE_H
#define TB_PLUGINS_WAV_WAV_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "plugins/pcm/format.h"
#include "plugins/wav/byte_io.h"

namespace tb::wav {

const uint16_t kFormatPcm = 0x0001;
const uint16_t kFormatFloat = 0x0003;
const uint16_t kFormatExtensible = 0xFFFE;
/// LIST INFO chunks and cue chunks larger than this are refused as implausible.
const uint32_t kMaxMetadataChunk = 1u << 20;

/// The LIST INFO texts this code knows, as the file holds them (8-bit, up to the first
/// zero byte, trailing spaces removed); empty when absent.
struct Tags {
  std::string title;   ///< INAM
  std::string artist;  ///< IART
  std::string album;   ///< IPRD
  std::string genre;   ///< IGNR
  std::string year;    ///< ICRD (a creation date; usually just the year)
};

/// One entry of the "cue " chunk, fields as stored.
struct CuePoint {
  uint32_t id;        ///< the cue's name, referred to by labels
  uint32_t position;  ///< its place in play order (often equal to sampleOffset)
  uint32_t chunkId;   ///< the chunk it lies in, four characters read little-endian
  uint32_t chunkStart;
  uint32_t blockStart;
  uint32_t sampleOffset;  ///< the frame within the data where the cue sits; not checked
                          ///< against the data's length
};

struct WavInfo {
  /// Rate, container bits (8/16/24/32) and channels; for floating-point samples, the
  /// 24-bit integer PCM they are read as (FloatToPcm24).
  pcm::Format format{};
  uint16_t floatBits = 0;         ///< 32 or 64 when the samples are IEEE floats, else 0
  uint16_t formatTag = 0;         ///< kFormatPcm, kFormatFloat or kFormatExtensible
  uint16_t blockAlign = 0;        ///< bytes of one frame as stored in the file
  uint16_t validBits = 0;         ///< significant bits of each sample (<= container bits)
  uint32_t channelMask = 0;       ///< speaker mask of an extensible format, else 0
  uint64_t dataOffset = 0;        ///< file offset of the first sample
  uint64_t dataSize = 0;          ///< bytes of whole frames actually present
  uint64_t frameCount = 0;        ///< dataSize / blockAlign
  uint32_t declaredDataSize = 0;  ///< the data chunk's size field
  bool dataClamped = false;       ///< the declared size ran past the end of the file
  Tags tags;
  std::vector<CuePoint> cues;
};

struct ParseResult {
  bool ok = false;
  std::string error;  ///< what was wrong, when not ok
  WavInfo info;       ///< meaningful when ok
};

/// Reads the layout of a WAVE file. Leniencies, each common in files found in the wild:
///  - a data chunk that declares more bytes than the file holds (a cut-off download, a
///    recorder that never patched its header, the 0xFFFFFFFF of a stream) is taken to
///    end at the end of the file, and dataClamped says so; a trailing partial frame is
///    left out of dataSize;
///  - a RIFF size that disagrees with the file is ignored while fmt and data are still
///    missing; once both are found, whatever lies past the RIFF end, and anything that
///    is not a chunk (no valid id), is ignored;
///  - a pad byte missing after an odd-sized chunk is tolerated when the next chunk's id
///    is found right after the chunk rather than one byte on.
/// Everything else that is malformed is refused with a sentence saying what: a missing
/// or second fmt, no data, a truncated fmt, LIST or cue chunk, zero channels, a zero or
/// too high rate, sample sizes other than 8/16/24/32 bits, a block align that is not
/// channels x bytes per sample, formats other than integer PCM and 32/64-bit float,
/// metadata chunks larger than kMaxMetadataChunk. Nothing is read outside the stream.
ParseResult Parse(ByteReader& reader);

/// Converts `samples` little-endian IEEE floats of `floatBits` (32 or 64) bits, full
/// scale at +-1.0, to 24-bit PCM: scaled by 2^23, rounded to nearest, values outside
/// the 24-bit range clipped to it. Returns how many samples were clipped (a NaN counts,
/// and becomes 0).
size_t FloatToPcm24(const uint8_t* src, int floatBits, size_t samples, uint8_t* dst);

/// Writes a WAVE file: Begin puts the header (and the tags, before the data), Write
/// appends samples, Finish pads the data and patches the sizes. Formats wider than 16
/// bits or with more than two channels are written as WAVE_FORMAT_EXTENSIBLE, with the
/// usual speaker mask for 1 to 8 channels (0 beyond).
class Writer {
 public:
  explicit Writer(ByteWriter& out) : out_(out) {}

  /// False, with error() set, on an unsupported format, over-long tags or a failed write.
  bool Begin(const pcm::Format& format, const Tags& tags = Tags());
  /// Appends sample bytes. False when not begun, on a failed write, or when the file
  /// would pass the 4 GiB that 32-bit RIFF sizes allow (nothing of that block is written).
  bool Write(const void* data, size_t size);
  /// Pads the data and patches the RIFF and data sizes; the writer is done afterwards.
  bool Finish();

  const std::string& error() const { return error_; }
  uint64_t data_size() const { return dataSize_; }

 private:
  bool Fail(const std::string& text);

  enum class State { kIdle, kWriting, kDone, kFailed };
  ByteWriter& out_;
  State state_ = State::kIdle;
  std::string error_;
  uint64_t headerSize_ = 0;     // bytes before the samples
  uint64_t dataSizeField_ = 0;  // offset of the data chunk's size
  uint64_t dataSize_ = 0;
};

}  // namespace tb::wav

#endif  // TB_PLUGINS_WAV_WAV_FILE_H
