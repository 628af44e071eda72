#include <gtest/gtest.h>

#include <cstring>

#include "plugins/wav/wav_file.h"

namespace tb::wav {
namespace {

ParseResult Reparse(const MemoryWriter& w) {
  MemoryReader reader(w.bytes().data(), w.bytes().size());
  return Parse(reader);
}

uint32_t Le32At(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

TEST(wav_writer_test, writes_a_file_the_parser_reads_back_with_tags_and_samples) {
  MemoryWriter out;
  Writer w(out);
  Tags tags{"A Title", "Some Artist", "The Album", "Rock", "2024"};
  ASSERT_TRUE(w.Begin({44100, 16, 2}, tags)) << w.error();
  std::vector<uint8_t> samples(400);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(w.Write(samples.data(), 150));
  ASSERT_TRUE(w.Write(samples.data() + 150, 250));
  ASSERT_TRUE(w.Finish()) << w.error();

  const auto r = Reparse(out);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.info.format, (pcm::Format{44100, 16, 2}));
  EXPECT_EQ(r.info.formatTag, kFormatPcm);
  EXPECT_EQ(r.info.frameCount, 100u);
  EXPECT_EQ(r.info.tags.title, tags.title);
  EXPECT_EQ(r.info.tags.artist, tags.artist);
  EXPECT_EQ(r.info.tags.album, tags.album);
  EXPECT_EQ(r.info.tags.genre, tags.genre);
  EXPECT_EQ(r.info.tags.year, tags.year);
  EXPECT_EQ(0, std::memcmp(out.bytes().data() + r.info.dataOffset, samples.data(), 400));
  EXPECT_EQ(Le32At(out.bytes(), 4), out.bytes().size() - 8);
}

TEST(wav_writer_test, uses_the_extensible_format_for_wide_or_multichannel_audio) {
  const struct {
    pcm::Format format;
    uint16_t tag;
    uint32_t mask;
  } cases[] = {{{48000, 16, 2}, kFormatPcm, 0},
               {{48000, 8, 1}, kFormatPcm, 0},
               {{48000, 24, 2}, kFormatExtensible, 0x3},
               {{48000, 16, 6}, kFormatExtensible, 0x3F},
               {{48000, 32, 12}, kFormatExtensible, 0}};
  for (const auto& c : cases) {
    MemoryWriter out;
    Writer w(out);
    ASSERT_TRUE(w.Begin(c.format));
    std::vector<uint8_t> frame(pcm::FrameBytes(c.format), 0x5A);
    ASSERT_TRUE(w.Write(frame.data(), frame.size()));
    ASSERT_TRUE(w.Finish());
    const auto r = Reparse(out);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info.format, c.format);
    EXPECT_EQ(r.info.formatTag, c.tag);
    EXPECT_EQ(r.info.channelMask, c.mask);
    EXPECT_EQ(r.info.validBits, c.format.bitsPerSample);
    EXPECT_EQ(r.info.frameCount, 1u);
  }
}

TEST(wav_writer_test, pads_odd_data_and_counts_the_pad_in_the_riff_size) {
  MemoryWriter out;
  Writer w(out);
  ASSERT_TRUE(w.Begin({8000, 8, 1}));
  const uint8_t s[3] = {1, 2, 3};
  ASSERT_TRUE(w.Write(s, 3));
  ASSERT_TRUE(w.Finish());
  ASSERT_EQ(out.bytes().size(), 44u + 4u);
  EXPECT_EQ(Le32At(out.bytes(), 4), 40u);
  EXPECT_EQ(Le32At(out.bytes(), 40), 3u);
  EXPECT_EQ(out.bytes().back(), 0);
  EXPECT_EQ(Reparse(out).info.frameCount, 3u);
}

// Counts what would be written and keeps only the header, to reach 4 GiB cheaply.
class HeaderOnlyWriter final : public ByteWriter {
 public:
  bool Write(const void* data, size_t size) override {
    for (size_t i = 0; i < size && pos_ + i < sizeof header; ++i) {
      header[pos_ + i] = static_cast<const uint8_t*>(data)[i];
    }
    pos_ += size;
    end_ = std::max(end_, pos_);
    return true;
  }
  bool Seek(uint64_t offset) override {
    if (offset > end_) return false;
    pos_ = offset;
    return true;
  }
  uint8_t header[44] = {};
  uint64_t end() const { return end_; }

 private:
  uint64_t pos_ = 0, end_ = 0;
};

TEST(wav_writer_test, stops_before_the_32_bit_riff_size_overflows) {
  HeaderOnlyWriter out;
  Writer w(out);
  ASSERT_TRUE(w.Begin({44100, 8, 1}));
  static const std::vector<uint8_t> block(size_t{1} << 26, 0);  // 64 MiB
  int writes = 0;
  while (w.Write(block.data(), block.size())) ++writes;
  EXPECT_EQ(writes, 63);  // the 64th would pass 0xFFFFFFFF
  EXPECT_NE(w.error().find("4 GiB"), std::string::npos);
  // Fill what is left but for the pad byte an odd size could need.
  const uint64_t room = 0xFFFFFFFFull - 36 - 1 - w.data_size();
  ASSERT_TRUE(w.Write(block.data(), static_cast<size_t>(room)));
  EXPECT_FALSE(w.Write(block.data(), 1));
  ASSERT_TRUE(w.Finish()) << w.error();
  const std::vector<uint8_t> h(out.header, out.header + 44);
  EXPECT_EQ(Le32At(h, 40), w.data_size());
  EXPECT_EQ(Le32At(h, 4), w.data_size() + 36);
  EXPECT_EQ(out.end(), 44 + w.data_size());
}

TEST(wav_writer_test, refuses_bad_formats_and_calls_out_of_order) {
  MemoryWriter out;
  Writer bad(out);
  EXPECT_FALSE(bad.Begin({44100, 12, 2}));
  EXPECT_FALSE(Writer(out).Begin({44100, 16, 0}));
  EXPECT_FALSE(Writer(out).Begin({0, 16, 2}));
  EXPECT_FALSE(Writer(out).Begin({44100, 32, 16384}));  // block align past 16 bits
  Writer early(out);
  const uint8_t s[2] = {};
  EXPECT_FALSE(early.Write(s, 2));
  Writer twice(out);
  ASSERT_TRUE(twice.Begin({44100, 16, 2}));
  ASSERT_TRUE(twice.Finish());
  EXPECT_FALSE(twice.Write(s, 2));
  EXPECT_FALSE(twice.Finish());
}

}  // namespace
}  // namespace tb::wav
