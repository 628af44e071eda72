// Builds WAVE files byte by byte, well-formed or not, for the parser's tests and corpus.
#ifndef TB_TESTS_PLUGINS_PURE_WAV_TEST_UTIL_H
#define TB_TESTS_PLUGINS_PURE_WAV_TEST_UTIL_H

#include <cstdint>
#include <string>
#include <vector>

namespace tb::test {

struct Bytes {
  std::vector<uint8_t> b;
  Bytes& Id(const char* id) {
    b.insert(b.end(), id, id + 4);
    return *this;
  }
  Bytes& U16(uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  Bytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Bytes& Raw(const std::vector<uint8_t>& v) {
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
  Bytes& Text(const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  /// A chunk with its size and, when the body is odd, the pad byte (unless `pad` is off).
  Bytes& Chunk(const char* id, const std::vector<uint8_t>& body, bool pad = true) {
    Id(id).U32(static_cast<uint32_t>(body.size())).Raw(body);
    if (pad && (body.size() & 1)) b.push_back(0);
    return *this;
  }
};

/// The 16 bytes of a PCM fmt chunk's body.
inline std::vector<uint8_t> PcmFmt(uint32_t channels, uint32_t rate, uint32_t bits,
                                   uint32_t align = 0, uint32_t tag = 1) {
  if (align == 0) align = channels * (bits / 8);
  return Bytes().U16(tag).U16(channels).U32(rate).U32(rate * align).U16(align).U16(bits).b;
}

/// The 40 bytes of a WAVE_FORMAT_EXTENSIBLE fmt body; `pcm` off gives the float sub-format.
inline std::vector<uint8_t> ExtensibleFmt(uint32_t channels, uint32_t rate, uint32_t bits,
                                          uint32_t validBits, uint32_t mask, bool pcm = true) {
  Bytes f;
  f.Raw(PcmFmt(channels, rate, bits, 0, 0xFFFE)).U16(22).U16(validBits).U32(mask);
  f.Raw({static_cast<uint8_t>(pcm ? 1 : 3), 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B,
         0x71});
  return f.b;
}

/// "RIFF" <size of what follows> "WAVE" and then `chunks`.
inline std::vector<uint8_t> Riff(const std::vector<uint8_t>& chunks) {
  return Bytes().Id("RIFF").U32(static_cast<uint32_t>(chunks.size() + 4)).Id("WAVE").Raw(chunks).b;
}

}  // namespace tb::test

#endif  // TB_TESTS_PLUGINS_PURE_WAV_TEST_UTIL_H
