// Fuzz target: the FLAC decoder (native and Ogg) over arbitrary bytes. Built for
// Windows only, like libFLAC here, so its corpus replays under Wine.
#include "fuzz/codec_fuzz.h"
#include "plugins/flac/flac_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tb::wav::MemoryReader reader(data, size);
  return ExerciseDecoder(tb::flac::OpenFlac(reader));
}
