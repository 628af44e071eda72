#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "plugins/wav/wav_file.h"

namespace tb::wav {

namespace {

const size_t kMaxCuePoints = kMaxMetadataChunk / 24;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool IsId(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// A chunk id is four printable ASCII characters; anything else is not a chunk.
bool ValidId(const uint8_t* p) {
  for (int i = 0; i < 4; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  }
  return true;
}

std::string IdText(const uint8_t* p) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    if (p[i] >= 0x20 && p[i] <= 0x7E) {
      s += static_cast<char>(p[i]);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", p[i]);
      s += hex;
    }
  }
  return "\"" + s + "\"";
}

std::string Num(uint64_t v) { return std::to_string(v); }

// Where the item after one of `size` bytes ending at `end` starts: one pad byte on when
// the size is odd, unless the writer left the pad out, which shows as a chunk id right at
// `end` and none one byte on.
template <class IdAt>
uint64_t NextItem(uint64_t end, uint32_t size, IdAt idAt) {
  if ((size & 1) == 0) return end;
  uint8_t padded[4], unpadded[4];
  if (!idAt(end + 1, padded) && idAt(end, unpadded)) return end;
  return end + 1;
}

class Parser {
 public:
  explicit Parser(ByteReader& reader) : reader_(reader), fileSize_(reader.Size()) {}

  ParseResult Run() {
    ParseResult result;
    if (!Walk()) {
      result.error = error_;
      return result;
    }
    result.ok = true;
    result.info = std::move(info_);
    return result;
  }

 private:
  bool Fail(const std::string& text) {
    error_ = text;
    return false;
  }

  // An exact read: false when any byte of [offset, offset + size) is missing.
  bool Read(uint64_t offset, void* buffer, size_t size) {
    if (offset > fileSize_ || size > fileSize_ - offset) return false;
    return reader_.ReadAt(offset, buffer, size) == size;
  }

  bool IdAt(uint64_t offset, uint8_t* id) { return Read(offset, id, 4) && ValidId(id); }

  bool Walk() {
    uint8_t head[12];
    if (fileSize_ < 12 || !Read(0, head, 12)) {
      return Fail("file too short for a RIFF header (" + Num(fileSize_) + " bytes)");
    }
    if (IsId(head, "RF64")) return Fail("64-bit RIFF (RF64) files are not supported");
    if (!IsId(head, "RIFF")) return Fail("not a RIFF file");
    if (!IsId(head + 8, "WAVE"))
      return Fail("RIFF file of form " + IdText(head + 8) + ", not WAVE");
    const uint32_t riffSize = Le32(head + 4);
    const uint64_t riffEnd =
        riffSize < 4 ? fileSize_ : std::min<uint64_t>(fileSize_, 8ull + riffSize);

    bool haveFmt = false, haveData = false, haveCue = false;
    uint64_t pos = 12;
    for (;;) {
      if (haveFmt && haveData && pos >= riffEnd) break;
      // Fewer bytes than a chunk header at the end are ignored.
      if (pos > fileSize_ || fileSize_ - pos < 8) break;
      uint8_t ch[8];
      if (!Read(pos, ch, 8)) return Fail("read failed at offset " + Num(pos));
      if (!ValidId(ch)) {
        if (haveFmt && haveData) break;
        return Fail("no valid chunk at offset " + Num(pos) + " (found " + IdText(ch) + ")");
      }
      const uint32_t size = Le32(ch + 4);
      const uint64_t body = pos + 8;
      const uint64_t end = body + size;
      const bool truncated = end > fileSize_;

      if (IsId(ch, "data")) {
        if (!haveData) {
          haveData = true;
          info_.dataOffset = body;
          info_.declaredDataSize = size;
          info_.dataSize = std::min<uint64_t>(size, fileSize_ - body);
          info_.dataClamped = truncated;
        }
        if (truncated) break;  // the rest of the file is samples
      } else if (truncated) {
        return Fail(IdText(ch) + " chunk at offset " + Num(pos) + " is truncated: it declares " +
                    Num(size) + " bytes, " + Num(fileSize_ - body) + " are present");
      } else if (IsId(ch, "fmt ")) {
        if (haveFmt) return Fail("second fmt chunk at offset " + Num(pos));
        if (!ParseFmt(body, size)) return false;
        haveFmt = true;
      } else if (IsId(ch, "LIST")) {
        if (!ParseList(body, size)) return false;
      } else if (IsId(ch, "cue ")) {
        // Only the first cue chunk counts; a second one adds nothing sensible.
        if (!haveCue && !ParseCue(body, size)) return false;
        haveCue = true;
      }
      pos = NextItem(end, size, [this](uint64_t at, uint8_t* id) { return IdAt(at, id); });
    }
    if (!haveFmt) return Fail("no fmt chunk");
    if (!haveData) return Fail("no data chunk");
    info_.frameCount = info_.dataSize / info_.blockAlign;
    info_.dataSize = info_.frameCount * info_.blockAlign;
    return true;
  }

  bool ParseFmt(uint64_t body, uint32_t size) {
    if (size < 16) return Fail("fmt chunk too short (" + Num(size) + " bytes, needs 16)");
    uint8_t f[40] = {};
    if (!Read(body, f, std::min<size_t>(size, sizeof f))) return Fail("fmt chunk unreadable");
    const uint16_t tag = Le16(f);
    const uint16_t channels = Le16(f + 2);
    const uint32_t rate = Le32(f + 4);
    const uint16_t align = Le16(f + 12);
    const uint16_t bits = Le16(f + 14);
    uint16_t valid = bits;
    uint32_t mask = 0;
    bool isFloat = false;
    if (tag == kFormatExtensible) {
      if (size < 40) {
        return Fail("extensible fmt chunk too short (" + Num(size) + " bytes, needs 40)");
      }
      if (Le16(f + 16) < 22) return Fail("extensible fmt chunk with too small an extension");
      valid = Le16(f + 18);
      mask = Le32(f + 20);
      // The sub-format identifiers of integer PCM and IEEE float:
      // {0000000t-0000-0010-8000-00AA00389B71} with t the plain format tag.
      static const uint8_t kBaseGuid[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
      const uint16_t sub = Le16(f + 24);
      if ((sub != kFormatPcm && sub != kFormatFloat) || std::memcmp(f + 26, kBaseGuid, 14) != 0) {
        return Fail("extensible format whose sub-format is neither integer PCM nor float");
      }
      isFloat = sub == kFormatFloat;
      if (valid == 0) valid = bits;
    } else if (tag == kFormatFloat) {
      isFloat = true;
    } else if (tag != kFormatPcm) {
      char text[80];
      std::snprintf(text, sizeof text, "format tag 0x%04X is not integer PCM or float", tag);
      return Fail(text);
    }
    if (channels == 0) return Fail("fmt chunk declares zero channels");
    if (rate == 0) return Fail("fmt chunk declares a sample rate of 0");
    if (rate > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
      return Fail("sample rate " + Num(rate) + " is too high");
    }
    if (isFloat && bits != 32 && bits != 64) {
      return Fail(Num(bits) + "-bit floating-point samples are not supported (32 or 64 bits)");
    }
    if (!isFloat && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
      return Fail(Num(bits) + "-bit samples are not supported (8, 16, 24 or 32 bits)");
    }
    if (valid > bits) {
      return Fail(Num(valid) + " valid bits do not fit " + Num(bits) + "-bit samples");
    }
    if (align != static_cast<uint32_t>(channels) * (bits / 8)) {
      return Fail("block align " + Num(align) + " does not match " + Num(channels) +
                  " channels of " + Num(bits) + " bits");
    }
    info_.formatTag = tag;
    info_.format = pcm::Format{static_cast<int32_t>(rate), isFloat ? 24 : bits, channels};
    info_.floatBits = isFloat ? bits : 0;
    info_.blockAlign = align;
    info_.validBits = isFloat ? 24 : valid;
    info_.channelMask = mask;
    return true;
  }

  bool ParseList(uint64_t body, uint32_t size) {
    uint8_t type[4];
    if (size < 4 || !Read(body, type, 4)) return true;  // an empty list holds nothing
    if (!IsId(type, "INFO")) return true;
    if (size > kMaxMetadataChunk) {
      return Fail("LIST INFO chunk too large (" + Num(size) + " bytes)");
    }
    std::vector<uint8_t> list(size - 4);
    if (!list.empty() && !Read(body + 4, list.data(), list.size())) {
      return Fail("LIST INFO chunk unreadable");
    }
    const uint64_t n = list.size();
    auto idAt = [&](uint64_t at, uint8_t* id) {
      if (at > n || n - at < 4) return false;
      std::memcpy(id, list.data() + at, 4);
      return ValidId(id);
    };
    uint64_t p = 0;
    while (p <= n && n - p >= 8) {
      const uint8_t* item = list.data() + p;
      const uint32_t itemSize = Le32(item + 4);
      if (itemSize > n - p - 8) {
        return Fail("LIST INFO item " + IdText(item) + " overruns its chunk (" + Num(itemSize) +
                    " bytes)");
      }
      std::string* tag = nullptr;
      if (IsId(item, "INAM"))
        tag = &info_.tags.title;
      else if (IsId(item, "IART"))
        tag = &info_.tags.artist;
      else if (IsId(item, "IPRD"))
        tag = &info_.tags.album;
      else if (IsId(item, "IGNR"))
        tag = &info_.tags.genre;
      else if (IsId(item, "ICRD"))
        tag = &info_.tags.year;
      if (tag && tag->empty()) {
        const char* text = reinterpret_cast<const char*>(item + 8);
        size_t len = static_cast<size_t>(std::find(item + 8, item + 8 + itemSize, 0) - (item + 8));
        while (len > 0 && text[len - 1] == ' ') --len;
        tag->assign(text, len);
      }
      p = NextItem(p + 8 + itemSize, itemSize, idAt);
    }
    return true;
  }

  bool ParseCue(uint64_t body, uint32_t size) {
    uint8_t head[4];
    if (size < 4 || !Read(body, head, 4))
      return Fail("cue chunk too short (" + Num(size) + " bytes)");
    const uint32_t count = Le32(head);
    if (count > kMaxCuePoints) return Fail("cue chunk lists too many points (" + Num(count) + ")");
    if (count > (size - 4) / 24) {
      return Fail("cue chunk lists " + Num(count) + " points but holds " + Num((size - 4) / 24));
    }
    std::vector<uint8_t> raw(static_cast<size_t>(count) * 24);
    if (!raw.empty() && !Read(body + 4, raw.data(), raw.size()))
      return Fail("cue chunk unreadable");
    info_.cues.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* c = raw.data() + i * 24;
      info_.cues.push_back(
          CuePoint{Le32(c), Le32(c + 4), Le32(c + 8), Le32(c + 12), Le32(c + 16), Le32(c + 20)});
    }
    return true;
  }

  ByteReader& reader_;
  const uint64_t fileSize_;
  std::string error_;
  WavInfo info_;
};

}  // namespace

ParseResult Parse(ByteReader& reader) { return Parser(reader).Run(); }

namespace {

// One sample as FloatToPcm24 converts it; counts it in `clipped` when it was clipped.
inline void ToPcm24(double x, uint8_t* dst, size_t* clipped) {
  // Full scale itself (+-1.0) is not counted: +1.0 lands one step below, as every
  // integer format puts it.
  const double scaled = x * 8388608.0;
  int32_t v;
  if (!(scaled == scaled)) {  // NaN
    v = 0;
    ++*clipped;
  } else if (scaled > 8388608.0 || scaled < -8388608.0) {
    v = scaled > 0 ? 8388607 : -8388608;
    ++*clipped;
  } else {
    v = static_cast<int32_t>(std::floor(scaled + 0.5));
    v = std::min(v, 8388607);
  }
  dst[0] = static_cast<uint8_t>(v);
  dst[1] = static_cast<uint8_t>(v >> 8);
  dst[2] = static_cast<uint8_t>(v >> 16);
}

#if defined(__SSE2__)
// Four 32-bit floats, all within full scale, into 12 bytes: the same numbers ToPcm24
// gives, in exact single-precision steps. With t = x * 2^24 (a whole number up to 2^24
// and exact), floor(x * 2^23 + 0.5) = floor((floor(t) + 1) / 2): floor(t) is the
// truncation, one less where that went up, and the halving is an arithmetic shift. +1.0
// comes out one step too high and is taken back down.
inline void FourToPcm24(__m128 f, uint8_t* dst) {
  const __m128 t = _mm_mul_ps(f, _mm_set1_ps(16777216.0f));
  __m128i v = _mm_cvttps_epi32(t);
  v = _mm_add_epi32(v, _mm_castps_si128(_mm_cmplt_ps(t, _mm_cvtepi32_ps(v))));
  v = _mm_srai_epi32(_mm_add_epi32(v, _mm_set1_epi32(1)), 1);
  v = _mm_add_epi32(v, _mm_cmpgt_epi32(v, _mm_set1_epi32(8388607)));
  v = _mm_and_si128(v, _mm_set1_epi32(0xFFFFFF));
  // Samples a b c d: a | b << 24 and c | d << 24 in the two 64-bit halves (six bytes
  // each), then the second half's six bytes moved down next to the first's.
  const __m128i pairs =
      _mm_or_si128(_mm_and_si128(v, _mm_set_epi32(0, -1, 0, -1)),
                   _mm_srli_epi64(_mm_and_si128(v, _mm_set_epi32(-1, 0, -1, 0)), 8));
  const __m128i packed =
      _mm_or_si128(_mm_and_si128(pairs, _mm_set_epi32(0, 0, 0xFFFF, -1)),
                   _mm_and_si128(_mm_srli_si128(pairs, 2), _mm_set_epi32(0, -1, -65536, 0)));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), packed);
  const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(packed, 8));
  std::memcpy(dst + 8, &last, 4);
}
#endif

}  // namespace

size_t FloatToPcm24(const uint8_t* src, int floatBits, size_t samples, uint8_t* dst) {
  size_t clipped = 0;
  size_t i = 0;
  if (floatBits == 32) {
    const auto one = [&](size_t at) {
      float x;
      std::memcpy(&x, src + 4 * at, 4);
      ToPcm24(x, dst + 3 * at, &clipped);
    };
#if defined(__SSE2__)
    const __m128 lowest = _mm_set1_ps(-1.0f);
    const __m128 highest = _mm_set1_ps(1.0f);
    for (; i + 4 <= samples; i += 4) {
      const __m128 f = _mm_loadu_ps(reinterpret_cast<const float*>(src + 4 * i));
      // A group with a sample beyond full scale (or a NaN) takes the counting path.
      if (_mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(f, lowest), _mm_cmple_ps(f, highest))) == 0xF) {
        FourToPcm24(f, dst + 3 * i);
        continue;
      }
      for (size_t j = i; j < i + 4; ++j) one(j);
    }
#endif
    for (; i < samples; ++i) one(i);
    return clipped;
  }
  for (; i < samples; ++i) {
    double x;
    std::memcpy(&x, src + 8 * i, 8);
    ToPcm24(x, dst + 3 * i, &clipped);
  }
  return clipped;
}

}  // namespace tb::wav
