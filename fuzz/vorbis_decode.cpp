// Fuzz target: the Ogg Vorbis decoder over arbitrary bytes. Built for Windows only, like
// libvorbis here, so its corpus replays under Wine.
#include "fuzz/codec_fuzz.h"
#include "plugins/vorbis/vorbis_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tb::wav::MemoryReader reader(data, size);
  return ExerciseDecoder(tb::vorbis::OpenVorbis(reader));
}
