#include "plugins/mp3/mp3_decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "plugins/pcm/format.h"
#include "plugins/wav/wav_file.h"

namespace tb::mp3 {
namespace {

using codec::Cursor;

// How far past the ID3v2 tag the first frame may start.
const uint64_t kMaxJunk = 64 * 1024;

// The longest free-format frame: 640 kbit/s (what decoders accept) at the lowest
// MPEG-1 rate, 32 kHz, is 2881 bytes.
const size_t kMaxFreeFrame = 2881;

struct FrameHeader {
  int version;  // 1, 2, or 25 for 2.5
  int rate;
  uint32_t length;  // bytes, header included; 0 in a free-format stream
};

bool ParseHeader(const uint8_t* h, FrameHeader* out) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (h[1] >> 3) & 3;
  const int layerBits = (h[1] >> 1) & 3;
  const int bitrateIndex = h[2] >> 4;
  const int rateIndex = (h[2] >> 2) & 3;
  const int padding = (h[2] >> 1) & 1;
  if (versionBits == 1 || layerBits != 1 || bitrateIndex == 15 || rateIndex == 3) {
    return false;
  }
  static const int kRate[3] = {44100, 48000, 32000};
  static const int kBitrate1[15] = {0,   32,  40,  48,  56,  64,  80, 96,
                                    112, 128, 160, 192, 224, 256, 320};
  static const int kBitrate2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  const int version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
  const int rate = kRate[rateIndex] / (version == 1 ? 1 : version == 2 ? 2 : 4);
  const int kbps = version == 1 ? kBitrate1[bitrateIndex] : kBitrate2[bitrateIndex];
  out->version = version;
  out->rate = rate;
  // Bitrate index 0 is free format: the encoder's own bitrate, which the header omits.
  out->length =
      kbps == 0 ? 0
                : static_cast<uint32_t>((version == 1 ? 144 : 72) * kbps * 1000 / rate + padding);
  return true;
}

// Where the frame after the free-format frame at `at` (header `h`) starts: the next
// header that repeats this one's fixed fields (all but padding and the private bit),
// found within the longest frame; 0 when there is none.
uint64_t NextFreeFrame(Cursor& in, uint64_t at, const uint8_t* h) {
  uint8_t window[kMaxFreeFrame + 4];
  if (!in.seek(at + 4)) return 0;
  const size_t n = in.read(window, sizeof window);
  for (size_t i = 0; i + 3 <= n; ++i) {
    if (window[i] == 0xFF && window[i + 1] == h[1] && (window[i + 2] & 0xFC) == (h[2] & 0xFC)) {
      return at + 4 + i;
    }
  }
  return 0;
}

uint64_t Id3v2End(Cursor& in) {
  uint8_t h[10];
  in.seek(0);
  if (in.read(h, 10) != 10 || std::memcmp(h, "ID3", 3) != 0) return 0;
  return 10 + ((h[6] & 0x7Fu) << 21 | (h[7] & 0x7Fu) << 14 | (h[8] & 0x7Fu) << 7 | (h[9] & 0x7Fu)) +
         ((h[5] & 0x10) ? 10 : 0);
}

bool ChainAt(Cursor& in, uint64_t at) {
  FrameHeader first{};
  for (int i = 0; i < 3; ++i) {
    uint8_t h[4];
    FrameHeader f{};
    if (!in.seek(at) || in.read(h, 4) != 4 || !ParseHeader(h, &f)) return false;
    if (i == 0) first = f;
    if (f.version != first.version || f.rate != first.rate) return false;
    if ((f.length == 0) != (first.length == 0)) return false;
    at = f.length != 0 ? at + f.length : NextFreeFrame(in, at, h);
    if (at == 0) return false;
  }
  return true;
}

// Where the first frame of a chain of three starts: after an ID3v2 tag, within
// kMaxJunk bytes; kNoFrame when there is none.
const uint64_t kNoFrame = ~uint64_t{0};
uint64_t FirstFrame(Cursor& in) {
  const uint64_t start = Id3v2End(in);
  std::vector<uint8_t> window(static_cast<size_t>(kMaxJunk) + 4);
  in.seek(start);
  const size_t n = in.read(window.data(), window.size());
  for (size_t i = 0; i + 4 <= n; ++i) {
    FrameHeader f{};
    if (window[i] == 0xFF && ParseHeader(window.data() + i, &f) && ChainAt(in, start + i)) {
      return start + i;
    }
  }
  return kNoFrame;
}

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Whether the first frame, at `first`, is a LAME/Xing header whose frame count the
// whole file bears out: it names the stream's size in bytes, and that is the size of
// everything from the first frame to the end, less an ID3v1 tag. A file cut short, or
// one with more after the stream, fails this.
bool XingCountsWholeStream(Cursor& in, uint64_t first) {
  uint8_t frame[4 + 32 + 16];
  if (!in.seek(first) || in.read(frame, sizeof frame) != sizeof frame) return false;
  const bool mpeg1 = ((frame[1] >> 3) & 3) == 3;
  const bool mono = (frame[3] >> 6) == 3;
  const uint8_t* tag = frame + 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
  if (std::memcmp(tag, "Xing", 4) != 0 && std::memcmp(tag, "Info", 4) != 0) return false;
  const uint32_t flags = Be32(tag + 4);
  if ((flags & 3) != 3) return false;  // frames and bytes both given
  uint64_t end = in.size();
  uint8_t v1[3];
  if (end >= first + 128 && in.seek(end - 128) && in.read(v1, 3) == 3 &&
      std::memcmp(v1, "TAG", 3) == 0) {
    end -= 128;
  }
  return Be32(tag + 8) > 0 && Be32(tag + 12) == end - first;
}

class Mp3Decoder final : public codec::BlockDecoder {
 public:
  Mp3Decoder(std::shared_ptr<const Mpg123Api> api, wav::ByteReader& reader, int32_t bits)
      : api_(std::move(api)), in_(reader), bits_(bits) {}
  ~Mp3Decoder() override {
    if (mh_) {
      api_->close(mh_);
      api_->destroy(mh_);
    }
  }

  bool Open() {
    int err = 0;
    mh_ = api_->create(nullptr, &err);
    if (!mh_) return Fail(std::string("the MP3 decoder cannot start: ") + api_->plainStrerror(err));
    api_->param(mh_, MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    api_->formatNone(mh_);
    const long* rates = nullptr;
    size_t count = 0;
    api_->rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
      api_->format(mh_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    }
    // The library takes its length from a LAME/Xing header's frame count, exact when the
    // header is right; where the file does not bear the header out, or there is none,
    // the frames are counted by a scan of the whole file.
    const uint64_t first = FirstFrame(in_);
    const bool counted = first != kNoFrame && XingCountsWholeStream(in_, first);
    in_.seek(0);
    if (api_->replaceReader(mh_, ReadCb, SeekCb, nullptr) != MPG123_OK ||
        api_->openHandle(mh_, this) != MPG123_OK) {
      return Fail(Damage("when it was opened"));
    }
    if (!counted && api_->scan(mh_) != MPG123_OK) {
      return Fail(Damage("while its frames were counted"));
    }
    long rate = 0;
    int channels = 0, enc = 0;
    if (api_->getFormat(mh_, &rate, &channels, &enc) != MPG123_OK || rate <= 0 || channels < 1 ||
        channels > 2) {
      return Fail(Damage("in its first frame"));
    }
    const int64_t length = api_->length(mh_);
    if (length < 0) return Fail(Damage("while its length was measured"));
    info_.format = pcm::Format{static_cast<int32_t>(rate), bits_, channels};
    info_.significantBits = static_cast<uint32_t>(bits_);
    info_.frames = static_cast<uint64_t>(length);
    if (bits_ == 16) dither_ = std::make_unique<pcm::Dither>(channels);
    ReadTags();
    return true;
  }

 private:
  std::string Damage(const char* where) {
    if (in_.failed()) return "the file could not be read";
    return std::string("damaged MP3 data ") + where + ": " + api_->strerror(mh_);
  }

  static std::string Text(const mpg123_string* s) {
    if (!s || !s->p || s->fill == 0) return std::string();
    return std::string(s->p, strnlen(s->p, s->fill));
  }

  void ReadTags() {
    mpg123_id3v1* v1 = nullptr;
    mpg123_id3v2* v2 = nullptr;
    if ((api_->metaCheck(mh_) & MPG123_ID3) == 0 || api_->id3(mh_, &v1, &v2) != MPG123_OK) return;
    wav::Tags& t = info_.tags;
    if (v2) {
      t.title = Text(v2->title);
      t.artist = Text(v2->artist);
      t.album = Text(v2->album);
      t.genre = Text(v2->genre);
      t.year = Text(v2->year);
    }
    if (v1) {
      if (t.title.empty()) t.title = codec::Latin1ToUtf8(v1->title, sizeof v1->title);
      if (t.artist.empty()) t.artist = codec::Latin1ToUtf8(v1->artist, sizeof v1->artist);
      if (t.album.empty()) t.album = codec::Latin1ToUtf8(v1->album, sizeof v1->album);
      if (t.year.empty()) t.year = codec::Latin1ToUtf8(v1->year, sizeof v1->year);
    }
  }

  // One MPEG frame at a time, taken from the library's own buffer as floats and rounded
  // here, by the convertor's rule: to nearest at 24 bits; with triangular dither at 16,
  // where the stream loses bits that matter. Samples beyond full scale are clipped, as
  // every MP3 decoder does.
  bool DecodeBlock() override {
    for (;;) {
      int64_t number = 0;
      unsigned char* audio = nullptr;
      size_t bytes = 0;
      const int r = api_->decodeFrame(mh_, &number, &audio, &bytes);
      if (r == MPG123_NEW_FORMAT) {
        long rate = 0;
        int channels = 0, enc = 0;
        api_->getFormat(mh_, &rate, &channels, &enc);
        if (rate != info_.format.sampleRate || channels != info_.format.channels) {
          return Fail("the MP3 stream changes its rate or channel count");
        }
        continue;
      }
      if (r == MPG123_DONE) {
        end_ = true;
        return true;
      }
      if (r != MPG123_OK) return Fail(Damage("while it was decoded"));
      // Whole frames only (the library hands out nothing else).
      const size_t samples = bytes / 4 / static_cast<size_t>(info_.format.channels) *
                             static_cast<size_t>(info_.format.channels);
      // A frame that gapless trimming removed entirely gives nothing: take the next.
      if (samples == 0 || !audio) continue;
      if (bits_ == 24) {
        wav::FloatToPcm24(audio, 32, samples, Output(samples * 3));
      } else {
        Dithered16(audio, samples, Output(samples * 2));
      }
      return true;
    }
  }

  void Dithered16(const unsigned char* audio, size_t samples, uint8_t* out) {
    double wide[1024];  // a whole number of frames of one or two channels
    for (size_t done = 0; done < samples;) {
      const size_t n = std::min(samples - done, sizeof wide / sizeof wide[0]);
      for (size_t i = 0; i < n; ++i) {
        float f;
        std::memcpy(&f, audio + 4 * (done + i), 4);
        wide[i] = f;
      }
      pcm::EncodeSamples(16, wide, n, out + 2 * done, dither_.get());
      done += n;
    }
  }

  bool SeekTo(uint64_t frame) override {
    if (api_->seek(mh_, static_cast<int64_t>(frame), SEEK_SET) < 0) {
      return Fail("cannot seek in the MP3 stream: " + std::string(api_->strerror(mh_)));
    }
    return true;
  }

  static int ReadCb(void* self, void* buffer, size_t size) {
    auto* d = static_cast<Mp3Decoder*>(self);
    const size_t got = d->in_.read(buffer, size);
    return d->in_.failed() ? -1 : static_cast<int>(got);
  }
  static int64_t SeekCb(void* self, int64_t offset, int whence) {
    Cursor& in = static_cast<Mp3Decoder*>(self)->in_;
    int64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<int64_t>(in.tell());
    if (whence == SEEK_END) base = static_cast<int64_t>(in.size());
    const int64_t to = base + offset;
    return to >= 0 && in.seek(static_cast<uint64_t>(to)) ? to : -1;
  }

  std::shared_ptr<const Mpg123Api> api_;
  Cursor in_;
  int32_t bits_;
  std::unique_ptr<pcm::Dither> dither_;  // at 16 bits
  mpg123_handle* mh_ = nullptr;
};

}  // namespace

bool LooksLikeMp3(wav::ByteReader& reader) {
  Cursor in(reader);
  return FirstFrame(in) != kNoFrame;
}

codec::Opened OpenMp3(std::shared_ptr<const Mpg123Api> api, wav::ByteReader& reader, int32_t bits) {
  codec::Opened result;
  try {
    if (!LooksLikeMp3(reader)) {
      result.error = "no MPEG layer III frames";
      return result;
    }
    result.ours = true;
    if (bits != 16 && bits != 24) {
      result.error = "the MP3 decoder writes 16 or 24 bits";
      return result;
    }
    auto decoder = std::make_unique<Mp3Decoder>(std::move(api), reader, bits);
    if (!decoder->Open()) {
      result.error = decoder->error();
      return result;
    }
    result.decoder = std::move(decoder);
  } catch (...) {
    result.decoder.reset();
    result.error = "out of memory";
  }
  return result;
}

}  // namespace tb::mp3
