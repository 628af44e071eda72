// Times the PCM converter the way the source side drives it: 44.1 kHz stereo 16-bit to
// 48 kHz, in the largest blocks a converting read asks for. Prints the real-time factor;
// with a file name it also writes the generated input there as a WAVE file, so
// convert_bench.sh can time another resampler on the same audio.
//
// usage: convert_bench [input.wav [seconds]]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugins/pcm/converter.h"
#include "plugins/wav/wav_file.h"

namespace {

const size_t kBlock = 215040;  // the largest block a converting read passes on
const int kRounds = 3;

class FileWriter final : public tb::wav::ByteWriter {
 public:
  explicit FileWriter(const char* path) : f_(std::fopen(path, "wb")) {}
  ~FileWriter() override {
    if (f_) std::fclose(f_);
  }
  bool ok() const { return f_ != nullptr; }
  bool Write(const void* data, size_t size) override {
    return std::fwrite(data, 1, size, f_) == size;
  }
  bool Seek(uint64_t offset) override {
    return std::fseek(f_, static_cast<long>(offset), SEEK_SET) == 0;
  }

 private:
  std::FILE* f_;
};

// Music-like material: a few partials in each channel, slowly beating, with a little
// noise from a fixed generator, so every run converts the same bytes.
std::vector<uint8_t> Generate(size_t frames) {
  std::vector<uint8_t> bytes(frames * 4);
  uint32_t seed = 12345;
  const double pi = 3.14159265358979323846;
  for (size_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) / 44100;
    seed = seed * 1664525u + 1013904223u;
    const double noise = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.002;
    const double l = 0.3 * std::sin(2 * pi * 220 * t) + 0.2 * std::sin(2 * pi * 1375 * t) +
                     0.1 * std::sin(2 * pi * 7031 * t) * std::sin(2 * pi * 0.5 * t) + noise;
    const double r = 0.3 * std::sin(2 * pi * 330 * t) + 0.15 * std::sin(2 * pi * 2750 * t) +
                     0.05 * std::sin(2 * pi * 15000 * t) - noise;
    const auto li = static_cast<int16_t>(std::lround(l * 32767));
    const auto ri = static_cast<int16_t>(std::lround(r * 32767));
    bytes[4 * n] = static_cast<uint8_t>(li);
    bytes[4 * n + 1] = static_cast<uint8_t>(static_cast<uint16_t>(li) >> 8);
    bytes[4 * n + 2] = static_cast<uint8_t>(ri);
    bytes[4 * n + 3] = static_cast<uint8_t>(static_cast<uint16_t>(ri) >> 8);
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
  if (seconds <= 0) {
    std::fprintf(stderr, "usage: convert_bench [input.wav [seconds]]\n");
    return 2;
  }
  const tb::pcm::Format from{44100, 16, 2}, to{48000, 16, 2};
  const std::vector<uint8_t> input = Generate(static_cast<size_t>(seconds) * 44100);

  if (argc > 1) {
    FileWriter file(argv[1]);
    tb::wav::Writer wav(file);
    if (!file.ok() || !wav.Begin(from) || !wav.Write(input.data(), input.size()) || !wav.Finish()) {
      std::fprintf(stderr, "cannot write %s %s\n", argv[1], wav.error().c_str());
      return 1;
    }
  }

  std::string error;
  auto converter = tb::pcm::Converter::Create(from, to, &error);
  if (!converter) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  double best = 1e30;
  size_t produced = 0;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    produced = 0;
    for (size_t at = 0; at < input.size(); at += kBlock) {
      produced += converter->Convert(input.data() + at, std::min(kBlock, input.size() - at));
    }
    produced += converter->Flush();
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = std::min(best, took);
  }
  const auto* r = converter->resampler();
  std::printf("converted %d s of 44100 Hz stereo 16-bit to 48000 Hz (%zu bytes, %zu taps)\n",
              seconds, produced, r ? r->taps() : size_t{0});
  std::printf("best of %d: %.3f s, %.1f times real time\n", kRounds, best, seconds / best);
  std::printf("convert_seconds=%.6f\n", best);
  return 0;
}
