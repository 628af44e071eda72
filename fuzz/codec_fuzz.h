// What the codec decoders' fuzz targets check of a decoder that opened: reads deliver
// no more than asked, a read to the end without failure delivers exactly the length
// told at open, and seeks land where asked.
#ifndef TB_FUZZ_CODEC_FUZZ_H
#define TB_FUZZ_CODEC_FUZZ_H

#include <cstdlib>
#include <vector>

#include "plugins/codec/decoder.h"

inline int ExerciseDecoder(const tb::codec::Opened& opened) {
  if (!opened.decoder) {
    if (opened.error.empty()) std::abort();
    return 0;
  }
  tb::codec::Decoder& d = *opened.decoder;
  const tb::pcm::Format f = d.info().format;
  const int bits = f.bitsPerSample;
  if ((bits != 8 && bits != 16 && bits != 24 && bits != 32) || f.channels < 1 || f.sampleRate < 1) {
    std::abort();
  }
  const size_t frameBytes = tb::pcm::FrameBytes(f);
  // Fuzzed headers may claim enormous lengths; a few blocks say enough.
  const size_t kBlock = 4096;
  std::vector<uint8_t> buffer(kBlock * frameBytes + 1, 0xA5);
  uint64_t total = 0;
  for (int i = 0; i < 64; ++i) {
    size_t got = 0;
    if (!d.Read(buffer.data(), kBlock, &got)) {
      if (d.error().empty()) std::abort();
      return 0;
    }
    if (got > kBlock || buffer.back() != 0xA5) std::abort();
    if (got == 0) {
      if (total != d.info().frames) std::abort();
      break;
    }
    total += got;
  }
  const uint64_t middle = d.info().frames / 2;
  if (d.Seek(middle)) {
    size_t got = 0;
    if (d.Read(buffer.data(), kBlock, &got) && got > d.info().frames - middle) std::abort();
  }
  return 0;
}

#endif  // TB_FUZZ_CODEC_FUZZ_H
