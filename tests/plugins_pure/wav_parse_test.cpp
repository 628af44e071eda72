#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "plugins/wav/wav_file.h"
#include "tests/plugins_pure/wav_test_util.h"

namespace tb::wav {
namespace {

using test::Bytes;
using test::ExtensibleFmt;
using test::PcmFmt;
using test::Riff;

// A reader that fails the test if asked for anything outside the stream.
class CheckedReader final : public ByteReader {
 public:
  explicit CheckedReader(const std::vector<uint8_t>& bytes) : inner_(bytes.data(), bytes.size()) {}
  uint64_t Size() override { return inner_.Size(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    EXPECT_LE(offset + size, inner_.Size()) << "read of " << size << " at " << offset;
    return inner_.ReadAt(offset, buffer, size);
  }

 private:
  MemoryReader inner_;
};

ParseResult ParseBytes(const std::vector<uint8_t>& bytes) {
  CheckedReader reader(bytes);
  return Parse(reader);
}

std::vector<uint8_t> Info(std::initializer_list<std::pair<const char*, std::string>> items) {
  Bytes list;
  list.Id("INFO");
  for (const auto& [id, text] : items) {
    list.Chunk(id, std::vector<uint8_t>(text.begin(), text.end()));
  }
  return list.b;
}

std::vector<uint8_t> Cues(std::initializer_list<std::pair<uint32_t, uint32_t>> points) {
  Bytes cue;
  cue.U32(static_cast<uint32_t>(points.size()));
  for (const auto& [id, frame] : points) cue.U32(id).U32(frame).Id("data").U32(0).U32(0).U32(frame);
  return cue.b;
}

TEST(wav_parse_test, reads_format_data_tags_and_cue_points) {
  const std::string artist("Band  \0junk", 11);
  const auto file = Riff(Bytes()
                             .Chunk("fmt ", PcmFmt(2, 44100, 16))
                             .Chunk("LIST", Info({{"INAM", std::string("Song\0", 5)},
                                                  {"IART", artist},
                                                  {"IPRD", "Odd"},
                                                  {"ICMT", "not kept"},
                                                  {"IGNR", "Folk"},
                                                  {"ICRD", "1999"}}))
                             .Chunk("cue ", Cues({{1, 0}, {2, 5}}))
                             .Chunk("data", std::vector<uint8_t>(32, 0x11))
                             .b);
  const auto r = ParseBytes(file);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.info.format, (pcm::Format{44100, 16, 2}));
  EXPECT_EQ(r.info.formatTag, kFormatPcm);
  EXPECT_EQ(r.info.blockAlign, 4);
  EXPECT_EQ(r.info.validBits, 16);
  EXPECT_EQ(r.info.frameCount, 8u);
  EXPECT_EQ(r.info.dataSize, 32u);
  EXPECT_EQ(r.info.dataOffset, file.size() - 32);
  EXPECT_FALSE(r.info.dataClamped);
  EXPECT_EQ(r.info.tags.title, "Song");
  EXPECT_EQ(r.info.tags.artist, "Band");
  EXPECT_EQ(r.info.tags.album, "Odd");
  EXPECT_EQ(r.info.tags.genre, "Folk");
  EXPECT_EQ(r.info.tags.year, "1999");
  ASSERT_EQ(r.info.cues.size(), 2u);
  EXPECT_EQ(r.info.cues[1].id, 2u);
  EXPECT_EQ(r.info.cues[1].sampleOffset, 5u);
  EXPECT_EQ(r.info.cues[1].chunkId, 0x61746164u);  // "data"
}

TEST(wav_parse_test, reads_extensible_pcm_with_its_valid_bits_and_speaker_mask) {
  const auto file = Riff(Bytes()
                             .Chunk("fmt ", ExtensibleFmt(6, 96000, 24, 20, 0x3F))
                             .Chunk("data", std::vector<uint8_t>(18 * 3))
                             .b);
  const auto r = ParseBytes(file);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.info.format, (pcm::Format{96000, 24, 6}));
  EXPECT_EQ(r.info.formatTag, kFormatExtensible);
  EXPECT_EQ(r.info.validBits, 20);
  EXPECT_EQ(r.info.channelMask, 0x3Fu);
  EXPECT_EQ(r.info.frameCount, 3u);
}

TEST(wav_parse_test, reads_floating_point_as_24_bit_pcm) {
  const struct {
    std::vector<uint8_t> fmt;
    uint16_t floatBits;
  } cases[] = {{PcmFmt(2, 48000, 32, 0, 3), 32},
               {PcmFmt(2, 48000, 64, 0, 3), 64},
               {ExtensibleFmt(2, 48000, 32, 32, 3, false), 32}};
  for (const auto& c : cases) {
    const auto r = ParseBytes(Riff(
        Bytes().Chunk("fmt ", c.fmt).Chunk("data", std::vector<uint8_t>(c.floatBits * 3 / 4)).b));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.format, (pcm::Format{48000, 24, 2}));
    EXPECT_EQ(r.info.floatBits, c.floatBits);
    EXPECT_EQ(r.info.blockAlign, c.floatBits / 4);
    EXPECT_EQ(r.info.frameCount, 3u);
  }
}

TEST(wav_parse_test, floats_become_24_bit_samples_clipped_beyond_full_scale) {
  const struct {
    double in;
    int32_t out;
    size_t clipped;
  } cases[] = {{0.0, 0, 0},       {0.5, 4194304, 0},      {-1.0, -8388608, 0},
               {1.0, 8388607, 0}, {1.5, 8388607, 1},      {-7.0, -8388608, 1},
               {1e-7, 1, 0},      {-0.4 / 8388608, 0, 0}, {std::nan(""), 0, 1}};
  for (const auto& c : cases) {
    for (int bits : {32, 64}) {
      uint8_t in[8], out[3];
      const float f = static_cast<float>(c.in);
      if (bits == 32) std::memcpy(in, &f, 4);
      if (bits == 64) std::memcpy(in, &c.in, 8);
      // 32-bit floats round the input first; the cases are chosen to survive that.
      EXPECT_EQ(FloatToPcm24(in, bits, 1, out), c.clipped) << c.in << " " << bits;
      const int32_t v =
          static_cast<int32_t>(static_cast<uint32_t>(out[0] << 8 | out[1] << 16 | out[2] << 24)) >>
          8;
      EXPECT_EQ(v, c.out) << c.in << " " << bits;
    }
  }
}

// Runs of 32-bit floats are converted four at a time; every sample must come out as it
// does alone, through the one-at-a-time path: random values, halfway values, full scale,
// the smallest steps, and groups with a clipped sample or a NaN in them.
TEST(wav_parse_test, floats_in_runs_convert_as_they_do_one_by_one) {
  std::vector<float> in;
  uint32_t seed = 1;
  for (int i = 0; i < 4000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const float r = static_cast<float>(static_cast<int32_t>(seed)) / 2147483648.0f;
    in.push_back(i % 3 == 0 ? r : r * 1e-3f);
    in.push_back(static_cast<float>((static_cast<int32_t>(seed >> 9) - 4194304) + 0.5) /
                 8388608.0f);
  }
  for (float f : {1.0f, -1.0f, 0.0f, -0.0f, 0.5f / 8388608, -0.5f / 8388608, 1.5f / 8388608,
                  0.4999999f / 8388608, 1.0000001f, -1.25f, std::nanf(""), 0.75f}) {
    in.push_back(f);
  }
  const size_t n = in.size();
  std::vector<uint8_t> together(3 * n), alone(3 * n);
  const auto* bytes = reinterpret_cast<const uint8_t*>(in.data());
  size_t clippedAlone = 0;
  for (size_t i = 0; i < n; ++i) {
    clippedAlone += FloatToPcm24(bytes + 4 * i, 32, 1, alone.data() + 3 * i);
  }
  EXPECT_EQ(clippedAlone, 3u);
  for (size_t start : {size_t{0}, size_t{1}, size_t{3}}) {
    std::fill(together.begin(), together.end(), 0xAA);
    EXPECT_EQ(FloatToPcm24(bytes + 4 * start, 32, n - start, together.data() + 3 * start),
              clippedAlone);
    EXPECT_TRUE(std::equal(together.begin() + 3 * start, together.end(), alone.begin() + 3 * start))
        << "from sample " << start;
  }
}

TEST(wav_parse_test, clamps_a_data_chunk_that_runs_past_the_end_of_the_file) {
  for (uint32_t declared : {1000u, 0xFFFFFFFFu}) {
    auto file = Riff(Bytes().Chunk("fmt ", PcmFmt(2, 8000, 16)).Id("data").U32(declared).b);
    file.insert(file.end(), 10, 0x22);  // two frames and half of a third
    const auto r = ParseBytes(file);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.info.dataClamped);
    EXPECT_EQ(r.info.declaredDataSize, declared);
    EXPECT_EQ(r.info.dataSize, 8u);
    EXPECT_EQ(r.info.frameCount, 2u);
  }
}

TEST(wav_parse_test, tolerates_a_missing_pad_byte_after_an_odd_chunk) {
  for (bool pad : {true, false}) {
    const auto file = Riff(Bytes()
                               .Chunk("fmt ", PcmFmt(1, 8000, 8))
                               .Chunk("data", {1, 2, 3}, pad)
                               .Chunk("LIST", Info({{"INAM", "Tail"}}))
                               .b);
    const auto r = ParseBytes(file);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.frameCount, 3u);
    EXPECT_EQ(r.info.tags.title, "Tail") << (pad ? "padded" : "unpadded");
  }
}

TEST(wav_parse_test, reads_a_list_whose_last_odd_item_has_no_pad_byte_inside_it) {
  // The list's size ends right after "abc", yet the item's pad would lie one byte on.
  Bytes list;
  list.Id("INFO").Chunk("IART", {'A', 'r', 't', 0}).Chunk("INAM", {'a', 'b', 'c'}, false);
  const auto file = Riff(Bytes()
                             .Chunk("fmt ", PcmFmt(1, 8000, 8))
                             .Chunk("LIST", list.b)
                             .Chunk("data", std::vector<uint8_t>(40, 0x80))
                             .b);
  const auto r = ParseBytes(file);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.info.tags.title, "abc");
  EXPECT_EQ(r.info.tags.artist, "Art");
  EXPECT_EQ(r.info.frameCount, 40u);
}

TEST(wav_parse_test, ignores_what_lies_past_the_riff_end_and_trailing_junk) {
  auto file = Riff(Bytes().Chunk("fmt ", PcmFmt(1, 8000, 16)).Chunk("data", {1, 2, 3, 4}).b);
  auto junk = file;
  Bytes tail;
  tail.Id("LIST").U32(0x7FFFFFF0).Text("INFO");  // would be refused as truncated
  junk.insert(junk.end(), tail.b.begin(), tail.b.end());
  EXPECT_TRUE(ParseBytes(junk).ok) << ParseBytes(junk).error;

  auto zeros = file;
  zeros.insert(zeros.end(), 300, 0);  // sector padding
  zeros[4] += 100;                    // and a RIFF size that counts some of it
  EXPECT_TRUE(ParseBytes(zeros).ok) << ParseBytes(zeros).error;

  auto unpatched = file;
  unpatched[4] = 0;  // a writer that never came back to fill the RIFF size in
  const auto r = ParseBytes(unpatched);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.info.frameCount, 2u);
}

TEST(wav_parse_test, refuses_malformed_files_saying_what_is_wrong) {
  const auto data = Bytes().Chunk("data", {0, 0, 0, 0}).b;
  auto withFmt = [&](const std::vector<uint8_t>& fmt) {
    return Riff(Bytes().Chunk("fmt ", fmt).Raw(data).b);
  };
  const struct {
    const char* what;
    std::vector<uint8_t> file;
    const char* error;
  } cases[] = {
      {"empty", {}, "too short"},
      {"header cut", Bytes().Id("RIFF").U32(4).b, "too short"},
      {"not RIFF", Bytes().Id("RIFX").U32(4).Id("WAVE").b, "not a RIFF"},
      {"RF64", Bytes().Id("RF64").U32(4).Id("WAVE").b, "RF64"},
      {"not WAVE", Bytes().Id("RIFF").U32(4).Id("AVI ").b, "not WAVE"},
      {"no fmt", Riff(data), "no fmt"},
      {"no data", Riff(Bytes().Chunk("fmt ", PcmFmt(2, 44100, 16)).b), "no data"},
      {"zero channels", withFmt(PcmFmt(0, 44100, 16, 4)), "zero channels"},
      {"zero rate", withFmt(PcmFmt(2, 0, 16)), "rate of 0"},
      {"huge rate", withFmt(PcmFmt(2, 0x80000000u, 16)), "too high"},
      {"12 bits", withFmt(PcmFmt(2, 44100, 12, 4)), "12-bit"},
      {"align", withFmt(PcmFmt(2, 44100, 16, 3)), "block align 3"},
      {"16-bit float", withFmt(PcmFmt(2, 44100, 16, 0, 3)), "16-bit floating-point"},
      {"ext other", withFmt([] {
         auto f = ExtensibleFmt(2, 44100, 16, 16, 3);
         f[24] = 0x55;  // the sub-format's tag: compressed
         return f;
       }()),
       "sub-format"},
      {"ext short", withFmt(std::vector<uint8_t>(PcmFmt(2, 44100, 16, 0, 0xFFFE))), "needs 40"},
      {"ext valid bits", withFmt(ExtensibleFmt(2, 44100, 16, 20, 3)), "valid bits"},
      {"fmt short", withFmt(std::vector<uint8_t>(14, 1)), "fmt chunk too short"},
      {"second fmt",
       Riff(
           Bytes().Chunk("fmt ", PcmFmt(1, 8000, 8)).Chunk("fmt ", PcmFmt(1, 8000, 8)).Raw(data).b),
       "second fmt"},
      {"fmt truncated", Riff(Bytes().Id("fmt ").U32(16).Raw({1, 0, 2, 0}).b), "truncated"},
      {"LIST truncated",
       Riff(Bytes().Chunk("fmt ", PcmFmt(1, 8000, 8)).Id("LIST").U32(100).Text("INFO").b),
       "truncated"},
      {"INFO item overrun",
       Riff(Bytes()
                .Chunk("fmt ", PcmFmt(1, 8000, 8))
                .Chunk("LIST", Bytes().Id("INFO").Id("INAM").U32(50).Text("abc").b)
                .Raw(data)
                .b),
       "overruns"},
      {"cue count",
       Riff(Bytes()
                .Chunk("fmt ", PcmFmt(1, 8000, 8))
                .Chunk("cue ", Bytes().U32(3).Raw(std::vector<uint8_t>(48)).b)
                .Raw(data)
                .b),
       "lists 3 points but holds 2"},
      {"cue empty", Riff(Bytes().Chunk("fmt ", PcmFmt(1, 8000, 8)).Chunk("cue ", {}).Raw(data).b),
       "cue chunk too short"},
      {"garbage id", Riff(Bytes().Raw({0x01, 0x02, 0x03, 0x04, 0, 0, 0, 0}).Raw(data).b),
       "no valid chunk"},
  };
  for (const auto& c : cases) {
    const auto r = ParseBytes(c.file);
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_NE(r.error.find(c.error), std::string::npos) << c.what << ": " << r.error;
  }
}

TEST(wav_parse_test, survives_every_truncation_of_a_file_without_reading_past_it) {
  const auto file = Riff(Bytes()
                             .Chunk("fmt ", ExtensibleFmt(2, 48000, 24, 24, 3))
                             .Chunk("LIST", Info({{"INAM", "Title"}, {"IART", "Artist"}}))
                             .Chunk("cue ", Cues({{1, 2}}))
                             .Chunk("data", std::vector<uint8_t>(60, 7))
                             .b);
  for (size_t len = 0; len <= file.size(); ++len) {
    const std::vector<uint8_t> cut(file.begin(), file.begin() + len);
    const auto r = ParseBytes(cut);
    if (r.ok) {
      EXPECT_LE(r.info.dataOffset + r.info.dataSize, len);
      EXPECT_EQ(r.info.dataSize % 6, 0u);
    } else {
      EXPECT_FALSE(r.error.empty()) << len;
    }
  }
}

}  // namespace
}  // namespace tb::wav
