// The conversion benchmark's helper, so that both sides are measured on the same files
// and in the same way: makes the test files and measures the converted ones.
//
// usage: convert_bench tone OUTPUT.wav RATE SECONDS [FREQ [AMPLITUDE]]
//          a stereo 24-bit sine (default 1 kHz at 0.891, -1 dBFS), rounded without dither
//        convert_bench sinad FILE.wav FREQ
//          signal to noise and distortion of the sine at FREQ in the first channel,
//          leaving out the first and last second
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugins/pcm/format.h"
#include "plugins/wav/wav_file.h"

namespace {

const double kPi = 3.14159265358979323846;

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

class FileReader final : public tb::wav::ByteReader {
 public:
  explicit FileReader(const char* path) : f_(std::fopen(path, "rb")) {}
  ~FileReader() override {
    if (f_) std::fclose(f_);
  }
  bool ok() const { return f_ != nullptr; }
  uint64_t Size() override {
    std::fseek(f_, 0, SEEK_END);
    return static_cast<uint64_t>(std::ftell(f_));
  }
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    if (std::fseek(f_, static_cast<long>(offset), SEEK_SET) != 0) return 0;
    return std::fread(buffer, 1, size, f_);
  }

 private:
  std::FILE* f_;
};

int MakeTone(const char* path, int rate, int seconds, double freq, double amplitude) {
  const tb::pcm::Format format{rate, 24, 2};
  FileWriter file(path);
  tb::wav::Writer wav(file);
  if (!file.ok() || !wav.Begin(format)) {
    std::fprintf(stderr, "cannot write %s\n", path);
    return 1;
  }
  std::vector<double> samples;
  std::vector<uint8_t> bytes;
  const size_t total = static_cast<size_t>(rate) * static_cast<size_t>(seconds);
  for (size_t at = 0; at < total; at += 65536) {
    const size_t n = std::min<size_t>(65536, total - at);
    samples.resize(2 * n);
    for (size_t i = 0; i < n; ++i) {
      // The phase from the frame number modulo the period keeps long files exact.
      const double t = std::fmod(static_cast<double>(at + i) * freq, static_cast<double>(rate));
      samples[2 * i] = samples[2 * i + 1] = amplitude * std::sin(2 * kPi * t / rate);
    }
    bytes.resize(6 * n);
    tb::pcm::EncodeSamples(24, samples.data(), samples.size(), bytes.data());
    if (!wav.Write(bytes.data(), bytes.size())) {
      std::fprintf(stderr, "cannot write %s: %s\n", path, wav.error().c_str());
      return 1;
    }
  }
  return wav.Finish() ? 0 : 1;
}

// Least-squares fit of a + b sin + c cos at the tone's frequency; the rest is noise and
// distortion.
int MeasureSinad(const char* path, double freq) {
  FileReader file(path);
  if (!file.ok()) {
    std::fprintf(stderr, "cannot read %s\n", path);
    return 1;
  }
  const tb::wav::ParseResult parsed = tb::wav::Parse(file);
  if (!parsed.ok) {
    std::fprintf(stderr, "%s: %s\n", path, parsed.error.c_str());
    return 1;
  }
  const tb::wav::WavInfo& info = parsed.info;
  const auto rate = static_cast<uint64_t>(info.format.sampleRate);
  const uint64_t begin = rate, end = info.frameCount - rate;
  if (info.frameCount < 3 * rate) {
    std::fprintf(stderr, "%s: too short to measure\n", path);
    return 1;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>((end - begin) * info.blockAlign));
  file.ReadAt(info.dataOffset + begin * info.blockAlign, bytes.data(), bytes.size());
  const auto frames = static_cast<size_t>(end - begin);
  const auto channels = static_cast<size_t>(info.format.channels);
  std::vector<double> all(frames * channels), x(frames);
  tb::pcm::DecodeSamples(info.format.bitsPerSample, bytes.data(), all.size(), all.data());
  for (size_t n = 0; n < frames; ++n) x[n] = all[n * channels];

  double m[3][4] = {};
  auto basis = [&](size_t n, double* b) {
    const double t = std::fmod(static_cast<double>(begin + n) * freq, static_cast<double>(rate));
    b[0] = 1;
    b[1] = std::sin(2 * kPi * t / static_cast<double>(rate));
    b[2] = std::cos(2 * kPi * t / static_cast<double>(rate));
  };
  for (size_t n = 0; n < frames; ++n) {
    double b[3];
    basis(n, b);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) m[i][j] += b[i] * b[j];
      m[i][3] += b[i] * x[n];
    }
  }
  for (int i = 0; i < 3; ++i) {
    for (int r = 0; r < 3; ++r) {
      if (r == i) continue;
      const double f = m[r][i] / m[i][i];
      for (int k = 0; k < 4; ++k) m[r][k] -= f * m[i][k];
    }
  }
  const double a = m[0][3] / m[0][0], s = m[1][3] / m[1][1], c = m[2][3] / m[2][2];
  double residual = 0;
  for (size_t n = 0; n < frames; ++n) {
    double b[3];
    basis(n, b);
    const double e = x[n] - (a + s * b[1] + c * b[2]);
    residual += e * e;
  }
  residual /= static_cast<double>(frames);
  const double signal = (s * s + c * c) / 2;
  std::printf("sinad=%.2f\n", 10 * std::log10(signal / residual));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "tone" && argc >= 5) {
    return MakeTone(argv[2], std::atoi(argv[3]), std::atoi(argv[4]),
                    argc > 5 ? std::atof(argv[5]) : 1000.0, argc > 6 ? std::atof(argv[6]) : 0.891);
  }
  if (mode == "sinad" && argc == 4) return MeasureSinad(argv[2], std::atof(argv[3]));
  std::fprintf(stderr,
               "usage: convert_bench tone OUTPUT.wav RATE SECONDS [FREQ [AMPLITUDE]]\n"
               "       convert_bench sinad FILE.wav FREQ\n");
  return 2;
}
