#include "plugins/wave/wave_probe.h"

#include <cstring>

namespace tb::wave {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A fmt chunk further in than this many chunks is not looked for: the probe only
// chooses a verdict, and a broken file stays refused either way.
const int kMaxChunks = 4096;

bool ReadExact(wav::ByteReader& reader, uint64_t size, uint64_t offset, void* out, size_t n) {
  if (offset > size || n > size - offset) return false;
  return reader.ReadAt(offset, out, n) == n;
}

}  // namespace

FileKind ProbeFileKind(wav::ByteReader& reader) {
  const uint64_t size = reader.Size();
  uint8_t head[12];
  if (!ReadExact(reader, size, 0, head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "WAVE", 4) != 0) {
    return FileKind::kNotWave;
  }
  uint64_t pos = 12;
  for (int i = 0; i < kMaxChunks; ++i) {
    uint8_t chunk[8];
    if (!ReadExact(reader, size, pos, chunk, sizeof chunk)) break;
    const uint32_t chunkSize = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      uint8_t fmt[40] = {};
      const size_t n = chunkSize < sizeof fmt ? chunkSize : sizeof fmt;
      if (n < 16 || !ReadExact(reader, size, pos + 8, fmt, n)) break;
      uint16_t tag = Le16(fmt);
      const uint16_t bits = Le16(fmt + 14);
      if (tag == 0xFFFE) {
        // Extensible: the sub-format's first two bytes carry the encoding's tag.
        if (n < 40) break;
        tag = Le16(fmt + 24);
      }
      const bool ownPcm = tag == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
      const bool ownFloat = tag == 3 && (bits == 32 || bits == 64);
      return ownPcm || ownFloat ? FileKind::kOwnEncoding : FileKind::kForeignEncoding;
    }
    pos += 8ull + chunkSize + (chunkSize & 1);
  }
  return FileKind::kOwnEncoding;
}

int32_t YearFromDate(const std::string& date) {
  size_t i = 0;
  while (i < date.size() && date[i] == ' ') ++i;
  int32_t year = 0;
  size_t digits = 0;
  for (; i < date.size() && date[i] >= '0' && date[i] <= '9'; ++i) {
    if (++digits > 9) return 0;
    year = year * 10 + (date[i] - '0');
  }
  return year;
}

}  // namespace tb::wave
