// What the codec plug-ins (FLAC, Ogg Vorbis, MP3) share below the SDK: a decoder of one
// stream into interleaved integer PCM, the buffered byte cursor the codec libraries read
// through, and the conversion of tag texts.
//
// A Decoder knows nothing of Windows or of the SDK: the plug-ins' source objects
// (codec_source.h) put one behind the SDK's interfaces, and the fuzz targets drive one
// over a memory buffer.
#ifndef TB_PLUGINS_CODEC_DECODER_H
#define TB_PLUGINS_CODEC_DECODER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "plugins/pcm/format.h"
#include "plugins/wav/byte_io.h"
#include "plugins/wav/wav_file.h"

namespace tb::codec {

/// What a decoder learns when it opens a stream.
struct StreamInfo {
  pcm::Format format{};          ///< the PCM it delivers: 8 (unsigned), 16, 24 or 32 bits
  uint32_t significantBits = 0;  ///< the stream's own sample width (<= format bits)
  uint64_t frames = 0;           ///< exact length in frames
  wav::Tags tags;                ///< UTF-8 texts; year holds the date text as found
  std::vector<uint64_t> cues;    ///< marked frame positions, ascending
};

/// One open stream. Reads deliver whole frames in `info().format`.
class Decoder {
 public:
  virtual ~Decoder() = default;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  const StreamInfo& info() const { return info_; }
  /// Why the last Read or Seek failed.
  const std::string& error() const { return error_; }

  /// Decodes up to `frames` frames into `out`. True with `*got` = 0 means the end. On
  /// false, error() says what is wrong with the stream (or the reader).
  virtual bool Read(uint8_t* out, size_t frames, size_t* got) = 0;
  /// Moves to `frame` (at most info().frames); the next Read starts there.
  virtual bool Seek(uint64_t frame) = 0;

 protected:
  Decoder() = default;
  bool Fail(std::string text) {
    error_ = std::move(text);
    return false;
  }

  StreamInfo info_;
  std::string error_;
};

/// The outcome of opening a stream.
struct Opened {
  std::unique_ptr<Decoder> decoder;  ///< null when refused
  std::string error;                 ///< why it was refused
  /// The stream carries this decoder's signature, so a refusal means a damaged file of
  /// this kind rather than someone else's file.
  bool ours = false;
  /// The codec library itself is missing or unusable: nothing is known of the file.
  bool unavailable = false;
};

/// Makes a decoder of type D over `reader` and opens it (D::Open gives the Opened with
/// no decoder in it and an empty error on success), turning running out of memory into
/// a refusal.
template <class D>
Opened OpenDecoder(wav::ByteReader& reader) {
  Opened result;
  try {
    auto decoder = std::make_unique<D>(reader);
    result = decoder->Open();
    if (result.error.empty()) result.decoder = std::move(decoder);
  } catch (...) {
    result.decoder.reset();
    result.error = "out of memory";
  }
  return result;
}

/// An allocator whose vectors grow without zeroing the new bytes: decoders overwrite
/// them at once, and zeroing each decoded block first would cost a pass over the audio.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  UninitializedAllocator() noexcept = default;
  template <class U>
  UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};

/// Decoded bytes.
using PcmBytes = std::vector<uint8_t, UninitializedAllocator<uint8_t>>;

/// A decoder that produces PCM a block at a time (a FLAC frame, an MP3 frame, a Vorbis
/// packet's worth) and hands it out in whatever sizes Read is asked for.
class BlockDecoder : public Decoder {
 public:
  bool Read(uint8_t* out, size_t frames, size_t* got) final;
  bool Seek(uint64_t frame) final;

 protected:
  /// Outputs at least one frame through Output, or sets end_; false on failure.
  virtual bool DecodeBlock() = 0;
  /// Positions the codec so that the next DecodeBlock starts at `frame`; pending_ is
  /// empty and end_ false when it is called.
  virtual bool SeekTo(uint64_t frame) = 0;

  /// Where a decoded block of `bytes` bytes (whole frames) is to be written, in full
  /// before the next call: straight into the buffer of the Read under way when nothing
  /// is pending and the block fits what that Read still wants, else the end of pending_.
  /// May throw std::bad_alloc.
  uint8_t* Output(size_t bytes);

  uint64_t position_ = 0;    ///< frames handed out since the start or the last seek
  uint64_t output_ = 0;      ///< bytes given out by Output, ever
  PcmBytes pending_;         ///< decoded bytes not yet handed out
  size_t pendingStart_ = 0;  ///< first byte of pending_ not handed out
  bool end_ = false;

 private:
  uint8_t* direct_ = nullptr;  // the part of a Read's buffer still free, during DecodeBlock
  size_t directRoom_ = 0;
};

/// A forward-and-back cursor over a ByteReader with a read-ahead buffer, so that codec
/// libraries that read a few hundred bytes at a time do not make a system call each.
class Cursor {
 public:
  explicit Cursor(wav::ByteReader& reader) : reader_(reader), size_(reader.Size()) {}

  uint64_t size() const { return size_; }
  uint64_t tell() const { return pos_; }
  /// False when `offset` lies past the end.
  bool seek(uint64_t offset);
  /// Reads up to `n` bytes; fewer only at the end or on a read failure (failed() says).
  size_t read(void* out, size_t n);
  bool failed() const { return failed_; }

 private:
  static const size_t kBuffer = 1u << 16;
  wav::ByteReader& reader_;
  uint64_t size_;
  uint64_t pos_ = 0;
  std::vector<uint8_t> buffer_;
  uint64_t bufferAt_ = 0;  // file offset of buffer_[0]
  bool failed_ = false;
};

/// Stores `value` (a sample of `bits` significant bits, shifted up to fill the
/// container) as `containerBits`-bit little-endian PCM at `out`.
void PutSample(int32_t value, uint32_t bits, int32_t containerBits, uint8_t* out);

/// The container width for samples of `bits` significant bits: 8, 16, 24 or 32.
int32_t ContainerBits(uint32_t bits);

/// Latin-1 text (ID3v1) as UTF-8.
std::string Latin1ToUtf8(const char* text, size_t size);

/// Fills the tag field named by a Vorbis comment "NAME=value" (TITLE, ARTIST, ALBUM,
/// GENRE, DATE; names are matched without case), keeping the first of each.
void TakeVorbisComment(const char* entry, size_t size, wav::Tags* tags);

}  // namespace tb::codec

#endif  // TB_PLUGINS_CODEC_DECODER_H
