// Fuzz target: the MP3 decoder over arbitrary bytes, with the libmpg123.dll that ships
// beside the plug-ins (plugins\ under the program's folder). Built for Windows only, so
// its corpus replays under Wine.
#include <cstdlib>

#include "fuzz/codec_fuzz.h"
#include "plugins/mp3/mp3_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::shared_ptr<const tb::mp3::Mpg123Api> api = [] {
    std::string error;
    std::string path = tb::mp3::Mpg123PathBesideThisModule();
    path.insert(path.size() - std::string("libmpg123.dll").size(), "plugins\\");
    auto loaded = tb::mp3::LoadMpg123(path, &error);
    if (!loaded) std::abort();
    return loaded;
  }();
  tb::wav::MemoryReader reader(data, size);
  // Both output widths, on alternate inputs.
  return ExerciseDecoder(tb::mp3::OpenMp3(api, reader, size % 2 ? 24 : 16));
}
