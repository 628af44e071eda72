#include "base/pe_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A small image with one section at 0x1000 (file offset 0x200) that holds an import of
// zqhelper.dll (HelperRun by name and ordinal 7) and exports of two names.
struct ImageBuilder {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(0x600, 0);

  void u16(size_t at, uint16_t v) {
    bytes[at] = uint8_t(v);
    bytes[at + 1] = uint8_t(v >> 8);
  }
  void u32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
  }
  void text(size_t at, const char* s) { std::memcpy(&bytes[at], s, std::strlen(s) + 1); }
  static size_t file(uint32_t rva) { return rva - 0x1000 + 0x200; }

  explicit ImageBuilder(bool wide, uint16_t machine) {
    u16(0, 0x5a4d);
    u32(0x3c, 0x40);
    u32(0x40, 0x4550);
    const uint16_t optionalSize = wide ? 240 : 224;
    u16(0x44, machine);
    u16(0x46, 1);
    u16(0x54, optionalSize);
    u16(0x56, 0x2102);
    const size_t opt = 0x58;
    u16(opt, wide ? 0x20b : 0x10b);
    u32(opt + 60, 0x200);
    u16(opt + 68, 2);
    u32(opt + (wide ? 108 : 92), 16);
    const size_t dirs = opt + (wide ? 112 : 96);
    u32(dirs, 0x1180);  // exports
    u32(dirs + 4, 40);
    u32(dirs + 8, 0x1000);  // imports
    u32(dirs + 12, 40);
    const size_t section = opt + optionalSize;
    u32(section + 8, 0x1000);
    u32(section + 12, 0x1000);
    u32(section + 16, 0x400);
    u32(section + 20, 0x200);

    u32(file(0x1000), 0x1100);
    u32(file(0x1000) + 12, 0x1080);
    u32(file(0x1000) + 16, 0x1100);
    text(file(0x1080), "zqhelper.dll");
    const size_t step = wide ? 8 : 4;
    u32(file(0x1100), 0x1140);
    u32(file(0x1100) + step, 7);
    bytes[file(0x1100) + step + (wide ? 7 : 3)] = 0x80;
    text(file(0x1140) + 2, "HelperRun");
    u32(file(0x1180) + 16, 1);
    u32(file(0x1180) + 20, 2);
    u32(file(0x1180) + 24, 2);
    u32(file(0x1180) + 32, 0x11c0);
    u32(file(0x11c0), 0x1300);
    u32(file(0x11c0) + 4, 0x1340);
    text(file(0x1300), "ORVA_PLUGIN_GetPrimaryAudioObject");
    text(file(0x1340), "ORVA_PLUGIN_ReadyToFinish");
  }
};

TEST(pe_image_test, reads_machine_imports_and_exports_of_both_widths) {
  for (bool wide : {false, true}) {
    ImageBuilder b(wide, wide ? tb::kMachineAmd64 : tb::kMachineI386);
    const tb::PeImage image = tb::ReadPeImage(b.bytes.data(), b.bytes.size());
    ASSERT_TRUE(image.valid()) << image.problem;
    EXPECT_EQ(wide, image.wide);
    EXPECT_EQ(wide ? "x64" : "x86", tb::MachineName(image.machine));
    EXPECT_EQ("Windows GUI", tb::SubsystemName(image.subsystem));
    EXPECT_TRUE(image.isDll());
    EXPECT_FALSE(image.truncated);
    ASSERT_EQ(1u, image.imports.size());
    EXPECT_EQ("zqhelper.dll", image.imports[0].library);
    ASSERT_EQ(2u, image.imports[0].functions.size());
    EXPECT_EQ("HelperRun", image.imports[0].functions[0].name);
    EXPECT_EQ("", image.imports[0].functions[1].name);
    EXPECT_EQ(7, image.imports[0].functions[1].ordinal);
    EXPECT_TRUE(image.exportsName("ORVA_PLUGIN_ReadyToFinish"));
    EXPECT_FALSE(image.exportsName("ORVA_PLUGIN_Other"));
    EXPECT_TRUE(image.exportsOrdinal(2));
    EXPECT_FALSE(image.exportsOrdinal(3));
  }
}

TEST(pe_image_test, names_what_is_wrong_with_bytes_that_are_no_image) {
  const struct {
    std::vector<uint8_t> bytes;
    const char* problem;
  } cases[] = {
      {{}, "no MZ header"},
      {{'P', 'K', 3, 4}, "no MZ header"},
      {{'M', 'Z'}, "no PE header"},
  };
  for (const auto& c : cases) {
    const tb::PeImage image = tb::ReadPeImage(c.bytes.data(), c.bytes.size());
    EXPECT_NE(std::string::npos, image.problem.find(c.problem)) << image.problem;
  }
}

TEST(pe_image_test, every_cut_of_an_image_is_read_within_bounds) {
  ImageBuilder b(false, tb::kMachineI386);
  for (size_t size = 0; size < b.bytes.size(); size += 7) {
    std::vector<uint8_t> cut(b.bytes.begin(), b.bytes.begin() + long(size));
    const tb::PeImage image = tb::ReadPeImage(cut.data(), cut.size());
    // The section table ends at 0x150; from there the image is valid and the tables may be cut.
    EXPECT_EQ(size >= 0x150, image.valid()) << size;
    if (image.valid() && size < 0x55b) {
      EXPECT_TRUE(image.truncated) << size;
    }
  }
}

TEST(pe_image_test, unterminated_names_and_endless_tables_stop_at_limits) {
  ImageBuilder b(false, tb::kMachineI386);
  // The library's name starts at the section's last byte and runs off its end.
  b.u32(ImageBuilder::file(0x1000) + 12, 0x13ff);
  b.bytes.back() = 'a';
  tb::PeImage image = tb::ReadPeImage(b.bytes.data(), b.bytes.size());
  EXPECT_TRUE(image.valid());
  EXPECT_TRUE(image.truncated);
  EXPECT_TRUE(image.imports.empty());

  ImageBuilder many(false, tb::kMachineI386);
  many.u32(ImageBuilder::file(0x1180) + 24, 0xffffffff);  // name count beyond the table
  image = tb::ReadPeImage(many.bytes.data(), many.bytes.size());
  EXPECT_TRUE(image.truncated);
  EXPECT_LE(image.exports.size(), tb::kMaxExportedNames);
}

}  // namespace
