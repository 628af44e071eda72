// Where the time of a codec decode goes, in one process: opening the stream, decoding
// it to nothing, and decoding it into a WAVE-sized file through plain WriteFile calls.
// The decoders are the plug-ins' own (plugins/flac, vorbis, mp3) over the plug-ins' file
// reader, without the manager, its proxy or the WAVE writer; comparing the figures with
// `tunebay-host convert` shows what those cost.
//
// usage: codec_phase_bench FILE.flac|.ogg|.mp3 [OUTPUT [RUNS]]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/handles.h"
#include "plugins/common/file_stream.h"
#include "plugins/flac/flac_decoder.h"
#include "plugins/mp3/mp3_decoder.h"
#include "plugins/vorbis/vorbis_decoder.h"

namespace {

const size_t kBlock = 64 * 1024;

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

bool EndsWith(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

tb::codec::Opened Open(const std::string& path, tb::wav::ByteReader& reader) {
  if (EndsWith(path, ".flac")) return tb::flac::OpenFlac(reader);
  if (EndsWith(path, ".ogg")) return tb::vorbis::OpenVorbis(reader);
  std::string error;
  std::string dll = tb::mp3::Mpg123PathBesideThisModule();
  dll.insert(dll.size() - std::string("libmpg123.dll").size(), "plugins\\");
  auto api = tb::mp3::LoadMpg123(dll, &error);
  if (!api) {
    tb::codec::Opened refused;
    refused.error = error;
    return refused;
  }
  return tb::mp3::OpenMp3(api, reader, 24);
}

// One pass: open, then decode everything, writing it to `out` when that is open.
bool Pass(const std::string& path, HANDLE out, double* open, double* decode) {
  tb::unique_hfile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  tb::plugin::FileReader reader(file.get());
  const double t0 = Now();
  tb::codec::Opened opened = Open(path, reader);
  if (!opened.decoder) {
    std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), opened.error.c_str());
    return false;
  }
  const double t1 = Now();
  const size_t frameBytes = tb::pcm::FrameBytes(opened.decoder->info().format);
  std::vector<uint8_t> buffer(kBlock);
  for (;;) {
    size_t got = 0;
    if (!opened.decoder->Read(buffer.data(), kBlock / frameBytes, &got)) {
      std::fprintf(stderr, "decoding failed: %s\n", opened.decoder->error().c_str());
      return false;
    }
    if (got == 0) break;
    if (out != INVALID_HANDLE_VALUE) {
      DWORD put = 0;
      WriteFile(out, buffer.data(), static_cast<DWORD>(got * frameBytes), &put, nullptr);
    }
  }
  *open = t1 - t0;
  *decode = Now() - t1;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: codec_phase_bench FILE [OUTPUT [RUNS]]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
  for (int i = 0; i < runs; ++i) {
    double open = 0, decode = 0, openW = 0, decodeW = 0;
    if (!Pass(path, INVALID_HANDLE_VALUE, &open, &decode)) return 1;
    if (argc > 2) {
      tb::unique_hfile out(CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!out || !Pass(path, out.get(), &openW, &decodeW)) return 1;
    }
    std::printf("open %.3f s  decode %.3f s  decode+write %.3f s\n", open, decode, decodeW);
  }
  return 0;
}
