// The WAVE decoder's platform-free helpers: which refused files get the final verdict,
// and the year of a creation date. Built natively under the sanitizers as well.
#include "plugins/wave/wave_probe.h"

#include <gtest/gtest.h>

#include <string>

#include "plugins/wav/byte_io.h"

namespace {

using tb::wave::FileKind;

std::string Le16(uint32_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

// A RIFF WAVE file whose chunks are given whole (ids, sizes and bodies).
std::string Riff(const std::string& chunks) {
  return "RIFF" + Le32(4 + chunks.size()) + "WAVE" + chunks;
}

std::string Fmt(uint32_t tag, uint32_t bits) {
  return "fmt " + Le32(16) + Le16(tag) + Le16(2) + Le32(44100) + Le32(44100 * 2 * bits / 8) +
         Le16(2 * bits / 8) + Le16(bits);
}

std::string Extensible(uint32_t subTag, uint32_t bits) {
  std::string body = Le16(0xFFFE) + Le16(2) + Le32(44100) + Le32(0) + Le16(2 * bits / 8) +
                     Le16(bits) + Le16(22) + Le16(bits) + Le32(3) + Le16(subTag) +
                     std::string("\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 14);
  return "fmt " + Le32(40) + body;
}

FileKind Probe(const std::string& bytes) {
  tb::wav::MemoryReader reader(bytes.data(), bytes.size());
  return tb::wave::ProbeFileKind(reader);
}

TEST(wave_probe_test, files_without_a_wave_header_are_not_wave) {
  EXPECT_EQ(Probe(""), FileKind::kNotWave);
  EXPECT_EQ(Probe("RIFF"), FileKind::kNotWave);
  EXPECT_EQ(Probe("ID3\x03 and more bytes"), FileKind::kNotWave);
  EXPECT_EQ(Probe("RIFF" + Le32(4) + "AVI "), FileKind::kNotWave);
  EXPECT_EQ(Probe("RF64" + Le32(4) + "WAVE" + Fmt(1, 16)), FileKind::kNotWave);
}

TEST(wave_probe_test, the_fmt_chunk_tells_own_from_foreign_encodings) {
  EXPECT_EQ(Probe(Riff(Fmt(1, 16))), FileKind::kOwnEncoding);
  EXPECT_EQ(Probe(Riff(Fmt(1, 8))), FileKind::kOwnEncoding);
  EXPECT_EQ(Probe(Riff(Fmt(1, 12))), FileKind::kForeignEncoding);
  EXPECT_EQ(Probe(Riff(Fmt(3, 32))), FileKind::kOwnEncoding);  // floating point
  EXPECT_EQ(Probe(Riff(Fmt(3, 16))), FileKind::kForeignEncoding);
  EXPECT_EQ(Probe(Riff(Fmt(0x55, 0))), FileKind::kForeignEncoding);  // compressed
  EXPECT_EQ(Probe(Riff(Extensible(1, 24))), FileKind::kOwnEncoding);
  EXPECT_EQ(Probe(Riff(Extensible(3, 32))), FileKind::kOwnEncoding);
  // Chunks before fmt are stepped over, a pad byte after an odd size included.
  EXPECT_EQ(Probe(Riff("JUNK" + Le32(3) + "abc" + std::string(1, '\0') + Fmt(3, 16))),
            FileKind::kForeignEncoding);
}

TEST(wave_probe_test, a_wave_file_too_broken_to_tell_counts_as_own) {
  EXPECT_EQ(Probe(Riff("")), FileKind::kOwnEncoding);
  EXPECT_EQ(Probe(Riff(Fmt(3, 32).substr(0, 20))), FileKind::kOwnEncoding);  // cut short
  EXPECT_EQ(Probe(Riff("fmt " + Le32(8) + Le16(3) + Le16(2) + Le32(0))), FileKind::kOwnEncoding);
  EXPECT_EQ(Probe(Riff(Extensible(3, 32).substr(0, 30))), FileKind::kOwnEncoding);
  // A chunk whose size points past the end hides whatever follows.
  EXPECT_EQ(Probe(Riff("JUNK" + Le32(0xFFFFFFF0) + Fmt(3, 32))), FileKind::kOwnEncoding);
}

TEST(wave_probe_test, year_is_the_leading_number_of_the_date) {
  EXPECT_EQ(tb::wave::YearFromDate("1999"), 1999);
  EXPECT_EQ(tb::wave::YearFromDate("2004-05-06"), 2004);
  EXPECT_EQ(tb::wave::YearFromDate("  1987 summer"), 1987);
  EXPECT_EQ(tb::wave::YearFromDate(""), 0);
  EXPECT_EQ(tb::wave::YearFromDate("May 1999"), 0);
  EXPECT_EQ(tb::wave::YearFromDate("999999999"), 999999999);
  EXPECT_EQ(tb::wave::YearFromDate("1234567890"), 0);
}

}  // namespace
