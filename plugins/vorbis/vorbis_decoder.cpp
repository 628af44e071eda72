#include "plugins/vorbis/vorbis_decoder.h"

#include <emmintrin.h>
#include <vorbis/vorbisfile.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tb::vorbis {
namespace {

using codec::Cursor;

// Vorbis orders the channels of 3 to 8 channel streams differently from WAVE; entry
// [n][i] is the Vorbis channel that goes to WAVE position i.
const int kToWave[9][8] = {
    {},
    {0},
    {0, 1},
    {0, 2, 1},
    {0, 1, 2, 3},
    {0, 2, 1, 3, 4},
    {0, 2, 1, 5, 3, 4},
    {0, 2, 1, 6, 5, 3, 4},
    {0, 2, 1, 7, 5, 6, 3, 4},
};

const char* ErrorText(long code) {
  switch (code) {
    case OV_HOLE:
      return "the Ogg pages have a gap or a damaged page";
    case OV_EBADLINK:
      return "a link of the stream is damaged";
    case OV_EREAD:
      return "the file could not be read";
    case OV_ENOTVORBIS:
      return "the Ogg stream does not hold Vorbis";
    case OV_EBADHEADER:
      return "a Vorbis header is damaged";
    case OV_EVERSION:
      return "the Vorbis version is not supported";
    case OV_ENOSEEK:
      return "the stream cannot seek";
    case OV_EINVAL:
      return "the stream is not usable";
    default:
      return "the stream is damaged";
  }
}

// The most frames one decoding step asks the library for.
const int kBlockFrames = 4096;

// A decoded sample as 16-bit PCM, as the library's own integer output gives it: scaled
// by 32768, rounded to nearest (ties to even, the processor's default), and clipped.
// Converting the library's float output here, straight into the frames handed out,
// saves its integer output's own pass and a copy.
int16_t ToPcm16(float sample) {
  const int v = _mm_cvtss_si32(_mm_set_ss(sample * 32768.f));
  return static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

// Two channels at once, interleaved: four frames per step; the saturating pack clips.
// A value beyond the 32-bit range converts to INT32_MIN and so clips to -32768, as the
// library's conversion does.
void StereoToPcm16(const float* left, const float* right, size_t frames, int16_t* out) {
  const __m128 scale = _mm_set1_ps(32768.f);
  size_t f = 0;
  for (; f + 4 <= frames; f += 4, out += 8) {
    const __m128i l = _mm_cvtps_epi32(_mm_mul_ps(_mm_loadu_ps(left + f), scale));
    const __m128i r = _mm_cvtps_epi32(_mm_mul_ps(_mm_loadu_ps(right + f), scale));
    const __m128i packed = _mm_packs_epi32(_mm_unpacklo_epi32(l, r), _mm_unpackhi_epi32(l, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), packed);
  }
  for (; f < frames; ++f, out += 2) {
    out[0] = ToPcm16(left[f]);
    out[1] = ToPcm16(right[f]);
  }
}

class VorbisDecoder final : public codec::BlockDecoder {
 public:
  explicit VorbisDecoder(wav::ByteReader& reader) : in_(reader) {}
  ~VorbisDecoder() override {
    if (open_) ov_clear(&vf_);
  }

  codec::Opened Open() {
    codec::Opened result;
    uint8_t head[64] = {};
    const size_t n = in_.read(head, sizeof head);
    if (n < 35 || std::memcmp(head, "OggS", 4) != 0 || head[28] != 1 ||
        std::memcmp(head + 29, "vorbis", 6) != 0) {
      result.error = "no Ogg Vorbis signature";
      return result;
    }
    result.ours = true;
    in_.seek(0);
    const ov_callbacks callbacks = {ReadCb, SeekCb, nullptr, TellCb};
    const int r = ov_open_callbacks(this, &vf_, nullptr, 0, callbacks);
    if (r != 0) {
      result.error = std::string("damaged Ogg Vorbis file: ") + ErrorText(r);
      return result;
    }
    open_ = true;
    const vorbis_info* vi = ov_info(&vf_, -1);
    const ogg_int64_t total = ov_pcm_total(&vf_, -1);
    if (!vi || vi->channels < 1 || vi->channels > 255 || vi->rate <= 0 || total < 0) {
      result.error = "damaged Ogg Vorbis file: no usable stream description";
      return result;
    }
    channels_ = vi->channels;
    rate_ = vi->rate;
    info_.format = pcm::Format{static_cast<int32_t>(vi->rate), 16, vi->channels};
    info_.significantBits = 16;
    info_.frames = static_cast<uint64_t>(total);
    if (const vorbis_comment* vc = ov_comment(&vf_, -1)) {
      for (int i = 0; i < vc->comments; ++i) {
        if (vc->user_comments[i] && vc->comment_lengths[i] > 0) {
          codec::TakeVorbisComment(vc->user_comments[i],
                                   static_cast<size_t>(vc->comment_lengths[i]), &info_.tags);
        }
      }
    }
    return result;
  }

 private:
  bool DecodeBlock() override {
    float** pcm = nullptr;
    int link = 0;
    long got = 0;
    for (;;) {
      got = ov_read_float(&vf_, &pcm, kBlockFrames, &link);
      if (got == OV_HOLE && !sawHole_) {
        // One hole is where a cut or a damaged page lost data: say so once.
        sawHole_ = true;
        return Fail(std::string("damaged Ogg Vorbis data: ") + ErrorText(got));
      }
      if (got != OV_HOLE) break;
    }
    if (got < 0) return Fail(std::string("damaged Ogg Vorbis data: ") + ErrorText(got));
    if (got == 0) {
      end_ = true;
      return true;
    }
    const vorbis_info* vi = ov_info(&vf_, link);
    if (!vi || vi->channels != channels_ || vi->rate != rate_) {
      return Fail("a later link of the Ogg Vorbis file changes the rate or channel count");
    }
    const size_t frames = static_cast<size_t>(got);
    auto* out = reinterpret_cast<int16_t*>(Output(frames * static_cast<size_t>(channels_) * 2));
    if (channels_ == 2) {
      StereoToPcm16(pcm[0], pcm[1], frames, out);
    } else {
      const int* map = channels_ <= 8 ? kToWave[channels_] : nullptr;
      for (int c = 0; c < channels_; ++c) {
        const float* src = pcm[map ? map[c] : c];
        int16_t* dst = out + c;
        for (size_t f = 0; f < frames; ++f, dst += channels_) *dst = ToPcm16(src[f]);
      }
    }
    return true;
  }

  bool SeekTo(uint64_t frame) override {
    const int r = ov_pcm_seek(&vf_, static_cast<ogg_int64_t>(frame));
    if (r != 0) return Fail("cannot seek in the Ogg Vorbis stream: " + std::string(ErrorText(r)));
    return true;
  }

  static size_t ReadCb(void* out, size_t size, size_t count, void* self) {
    auto* d = static_cast<VorbisDecoder*>(self);
    if (size == 0) return 0;
    const size_t got = d->in_.read(out, size * count);
    if (d->in_.failed()) errno = EIO;
    return got / size;
  }
  static int SeekCb(void* self, ogg_int64_t offset, int whence) {
    Cursor& in = static_cast<VorbisDecoder*>(self)->in_;
    int64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<int64_t>(in.tell());
    if (whence == SEEK_END) base = static_cast<int64_t>(in.size());
    const int64_t to = base + offset;
    return to >= 0 && in.seek(static_cast<uint64_t>(to)) ? 0 : -1;
  }
  static long TellCb(void* self) {
    return static_cast<long>(static_cast<VorbisDecoder*>(self)->in_.tell());
  }

  Cursor in_;
  OggVorbis_File vf_{};
  bool open_ = false;
  bool sawHole_ = false;
  int channels_ = 0;
  long rate_ = 0;
};

}  // namespace

codec::Opened OpenVorbis(wav::ByteReader& reader) {
  return codec::OpenDecoder<VorbisDecoder>(reader);
}

}  // namespace tb::vorbis
