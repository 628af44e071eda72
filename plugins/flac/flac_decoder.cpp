#include "plugins/flac/flac_decoder.h"

#include <FLAC/stream_decoder.h>

#include <cstring>

namespace tb::flac {
namespace {

using codec::Cursor;

enum class Container { kNone, kNative, kOgg };

// "fLaC" at the start, perhaps behind an ID3v2 tag (libFLAC skips one); or an Ogg page
// whose first packet is the Ogg FLAC mapping's header.
Container Sniff(Cursor& in) {
  uint8_t head[40] = {};
  in.seek(0);
  const size_t n = in.read(head, sizeof head);
  if (n >= 4 && std::memcmp(head, "fLaC", 4) == 0) return Container::kNative;
  if (n >= 33 && std::memcmp(head, "OggS", 4) == 0 && head[28] == 0x7F &&
      std::memcmp(head + 29, "FLAC", 4) == 0) {
    return Container::kOgg;
  }
  if (n >= 10 && std::memcmp(head, "ID3", 3) == 0) {
    const uint64_t tag = 10 +
                         ((head[6] & 0x7Fu) << 21 | (head[7] & 0x7Fu) << 14 |
                          (head[8] & 0x7Fu) << 7 | (head[9] & 0x7Fu)) +
                         ((head[5] & 0x10) ? 10 : 0);
    uint8_t magic[4];
    if (in.seek(tag) && in.read(magic, 4) == 4 && std::memcmp(magic, "fLaC", 4) == 0) {
      return Container::kNative;
    }
  }
  return Container::kNone;
}

class FlacDecoder final : public codec::BlockDecoder {
 public:
  explicit FlacDecoder(wav::ByteReader& reader) : in_(reader) {}
  ~FlacDecoder() override {
    if (flac_) FLAC__stream_decoder_delete(flac_);
  }

  codec::Opened Open() {
    codec::Opened result;
    const Container kind = Sniff(in_);
    if (kind == Container::kNone) {
      result.error = "no FLAC signature";
      return result;
    }
    result.ours = true;
    if (!OpenStream(kind)) {
      result.error = error_;
      return result;
    }
    result.error.clear();
    return result;
  }

 private:
  bool OpenStream(Container kind) {
    in_.seek(0);
    flac_ = FLAC__stream_decoder_new();
    if (!flac_) return Fail("out of memory");
    FLAC__stream_decoder_set_md5_checking(flac_, false);
    FLAC__stream_decoder_set_metadata_respond(flac_, FLAC__METADATA_TYPE_VORBIS_COMMENT);
    FLAC__stream_decoder_set_metadata_respond(flac_, FLAC__METADATA_TYPE_CUESHEET);
    const FLAC__StreamDecoderInitStatus init =
        kind == Container::kOgg
            ? FLAC__stream_decoder_init_ogg_stream(flac_, ReadCb, SeekCb, TellCb, LengthCb, EofCb,
                                                   WriteCb, MetadataCb, ErrorCb, this)
            : FLAC__stream_decoder_init_stream(flac_, ReadCb, SeekCb, TellCb, LengthCb, EofCb,
                                               WriteCb, MetadataCb, ErrorCb, this);
    if (init != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
      return Fail(std::string("the FLAC decoder cannot start: ") +
                  FLAC__StreamDecoderInitStatusString[init]);
    }
    if (!FLAC__stream_decoder_process_until_end_of_metadata(flac_) || !streamError_.empty()) {
      return Fail(Damage("in its header"));
    }
    if (!haveInfo_) return Fail("damaged FLAC file: no STREAMINFO block");
    metadataRead_ = true;
    if (info_.frames == 0 && !CountFrames()) return false;
    return true;
  }

  // A stream whose STREAMINFO leaves the length open is decoded once to count it.
  bool CountFrames() {
    counting_ = true;
    const bool ok = FLAC__stream_decoder_process_until_end_of_stream(flac_);
    counting_ = false;
    if (!ok || !streamError_.empty()) return Fail(Damage("while its length was measured"));
    info_.frames = counted_;
    if (!FLAC__stream_decoder_reset(flac_)) return Fail("the FLAC decoder cannot restart");
    pending_.clear();
    return true;
  }

  std::string Damage(const char* where) {
    std::string text = "damaged FLAC data " + std::string(where);
    if (!streamError_.empty()) {
      text += ": " + streamError_;
    } else if (in_.failed()) {
      text = "the file could not be read";
    } else {
      text +=
          std::string(": ") + FLAC__StreamDecoderStateString[FLAC__stream_decoder_get_state(flac_)];
    }
    return text;
  }

  bool DecodeBlock() override {
    const uint64_t before = output_;
    while (output_ == before) {
      if (FLAC__stream_decoder_get_state(flac_) == FLAC__STREAM_DECODER_END_OF_STREAM) {
        end_ = true;
        return true;
      }
      if (!FLAC__stream_decoder_process_single(flac_) || !streamError_.empty()) {
        return Fail(Damage("near frame " + std::to_string(frameAt_)));
      }
    }
    return true;
  }

  std::string Damage(const std::string& where) { return Damage(where.c_str()); }

  bool SeekTo(uint64_t frame) override {
    // Errors met while the seek bisects the file are the search's own business.
    const bool ok = FLAC__stream_decoder_seek_absolute(flac_, frame);
    streamError_.clear();
    if (!ok) {
      pending_.clear();
      FLAC__stream_decoder_flush(flac_);
      return Fail("cannot seek to frame " + std::to_string(frame) + " of the FLAC stream");
    }
    frameAt_ = frame;
    return true;
  }

  // libFLAC's callbacks.
  static FLAC__StreamDecoderReadStatus ReadCb(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                              size_t* bytes, void* self) {
    auto* d = static_cast<FlacDecoder*>(self);
    if (*bytes == 0) return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    *bytes = d->in_.read(buffer, *bytes);
    if (d->in_.failed()) return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    return *bytes == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                       : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
  }
  static FLAC__StreamDecoderSeekStatus SeekCb(const FLAC__StreamDecoder*, FLAC__uint64 offset,
                                              void* self) {
    return static_cast<FlacDecoder*>(self)->in_.seek(offset)
               ? FLAC__STREAM_DECODER_SEEK_STATUS_OK
               : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
  }
  static FLAC__StreamDecoderTellStatus TellCb(const FLAC__StreamDecoder*, FLAC__uint64* offset,
                                              void* self) {
    *offset = static_cast<FlacDecoder*>(self)->in_.tell();
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
  }
  static FLAC__StreamDecoderLengthStatus LengthCb(const FLAC__StreamDecoder*, FLAC__uint64* length,
                                                  void* self) {
    *length = static_cast<FlacDecoder*>(self)->in_.size();
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
  }
  static FLAC__bool EofCb(const FLAC__StreamDecoder*, void* self) {
    auto* d = static_cast<FlacDecoder*>(self);
    return d->in_.tell() >= d->in_.size();
  }

  static FLAC__StreamDecoderWriteStatus WriteCb(const FLAC__StreamDecoder*,
                                                const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[], void* self) {
    auto* d = static_cast<FlacDecoder*>(self);
    return d->Write(*frame, buffer) ? FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE
                                    : FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }

  bool Write(const FLAC__Frame& frame, const FLAC__int32* const buffer[]) {
    const uint32_t channels = frame.header.channels;
    const uint32_t bits = frame.header.bits_per_sample;
    const uint32_t n = frame.header.blocksize;
    if (channels != static_cast<uint32_t>(info_.format.channels) || bits != info_.significantBits) {
      streamError_ = "a frame changes the channel count or sample width";
      return false;
    }
    if (counting_) {
      counted_ += n;
      return true;
    }
    const int32_t container = info_.format.bitsPerSample;
    const size_t step = static_cast<size_t>(container / 8);
    uint8_t* out = nullptr;
    try {
      out = Output(static_cast<size_t>(n) * channels * step);
    } catch (...) {
      streamError_ = "out of memory";
      return false;
    }
    if (container == 16 && bits == 16 && channels == 2) {
      // CD audio, the common case, without the general path's per-sample dispatch.
      const FLAC__int32* left = buffer[0];
      const FLAC__int32* right = buffer[1];
      for (uint32_t i = 0; i < n; ++i, out += 4) {
        out[0] = static_cast<uint8_t>(left[i]);
        out[1] = static_cast<uint8_t>(left[i] >> 8);
        out[2] = static_cast<uint8_t>(right[i]);
        out[3] = static_cast<uint8_t>(right[i] >> 8);
      }
    } else {
      for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t c = 0; c < channels; ++c) {
          codec::PutSample(buffer[c][i], bits, container, out);
          out += step;
        }
      }
    }
    frameAt_ += n;
    return true;
  }

  static void MetadataCb(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m, void* self) {
    auto* d = static_cast<FlacDecoder*>(self);
    try {
      d->Metadata(*m);
    } catch (...) {
      d->streamError_ = "out of memory";
    }
  }

  void Metadata(const FLAC__StreamMetadata& m) {
    // The metadata comes again after the reset that follows a length count; the
    // first reading stands (the count replaced its open length).
    if (metadataRead_) return;
    if (m.type == FLAC__METADATA_TYPE_STREAMINFO) {
      const auto& si = m.data.stream_info;
      if (si.channels < 1 || si.channels > 8 || si.bits_per_sample < 4 || si.bits_per_sample > 32 ||
          si.sample_rate == 0) {
        streamError_ = "STREAMINFO describes an impossible stream";
        return;
      }
      info_.significantBits = si.bits_per_sample;
      info_.format =
          pcm::Format{static_cast<int32_t>(si.sample_rate),
                      codec::ContainerBits(si.bits_per_sample), static_cast<int32_t>(si.channels)};
      info_.frames = si.total_samples;
      haveInfo_ = true;
    } else if (m.type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
      const auto& vc = m.data.vorbis_comment;
      for (uint32_t i = 0; i < vc.num_comments; ++i) {
        const auto& e = vc.comments[i];
        if (e.entry) {
          codec::TakeVorbisComment(reinterpret_cast<const char*>(e.entry), e.length, &info_.tags);
        }
      }
    } else if (m.type == FLAC__METADATA_TYPE_CUESHEET) {
      const auto& cs = m.data.cue_sheet;
      for (uint32_t i = 0; i < cs.num_tracks; ++i) {
        const auto& t = cs.tracks[i];
        // The lead-out (track 170 on a CD, 255 otherwise) marks the end, not a track.
        if (t.number == 170 || t.number == 255) continue;
        // A track starts at its index 1; index 0 is the pause before it.
        uint64_t start = t.offset;
        for (uint32_t k = 0; k < t.num_indices; ++k) {
          if (t.indices[k].number == 1) start += t.indices[k].offset;
        }
        if (info_.cues.empty() || start > info_.cues.back()) info_.cues.push_back(start);
      }
    }
  }

  static void ErrorCb(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status,
                      void* self) {
    auto* d = static_cast<FlacDecoder*>(self);
    if (!d->streamError_.empty()) return;
    switch (status) {
      case FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC:
        d->streamError_ = "lost sync: bytes there are not FLAC frames";
        break;
      case FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER:
        d->streamError_ = "a frame header is damaged";
        break;
      case FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH:
        d->streamError_ = "a frame fails its checksum";
        break;
      default:
        d->streamError_ = "the stream cannot be parsed";
        break;
    }
  }

  Cursor in_;
  FLAC__StreamDecoder* flac_ = nullptr;
  std::string streamError_;  // the first error libFLAC reported since it was cleared
  bool haveInfo_ = false;
  bool metadataRead_ = false;
  bool counting_ = false;
  uint64_t counted_ = 0;
  uint64_t frameAt_ = 0;  // where the next decoded frame starts, for messages
};

}  // namespace

codec::Opened OpenFlac(wav::ByteReader& reader) { return codec::OpenDecoder<FlacDecoder>(reader); }

}  // namespace tb::flac
