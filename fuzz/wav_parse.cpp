// Fuzz target: the WAVE parser over arbitrary bytes. Besides the sanitizers' checks it
// asserts what a caller relies on: an accepted file's data lies inside the input and
// holds whole frames of a format the parser claims to support.
#include <cstdint>
#include <cstdlib>

#include "plugins/wav/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tb::wav::MemoryReader reader(data, size);
  const tb::wav::ParseResult r = tb::wav::Parse(reader);
  if (!r.ok) {
    if (r.error.empty()) std::abort();
    return 0;
  }
  const tb::wav::WavInfo& i = r.info;
  const int bits = i.format.bitsPerSample;
  if (i.dataOffset > size || i.dataSize > size - i.dataOffset) std::abort();
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) std::abort();
  if (i.format.channels < 1 || i.format.sampleRate < 1) std::abort();
  const int stored = i.floatBits != 0 ? i.floatBits : bits;
  if (i.floatBits != 0 && (bits != 24 || (stored != 32 && stored != 64))) std::abort();
  if (i.blockAlign != i.format.channels * (stored / 8)) std::abort();
  if (i.dataSize % i.blockAlign != 0 || i.frameCount * i.blockAlign != i.dataSize) std::abort();
  if (i.validBits > bits) std::abort();
  return 0;
}
