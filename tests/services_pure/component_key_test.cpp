#include "services/component_key.h"

#include <gtest/gtest.h>

namespace tb {
namespace {

TEST(component_key_test, identity_key_reads_last_groups_little_endian) {
  // {01234567-89AB-CDEF-0123-456789ABCDEF} as it lies in memory on x86.
  const unsigned char id[kClassIdSize] = {0x67, 0x45, 0x23, 0x01, 0xAB, 0x89, 0xEF, 0xCD,
                                          0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  EXPECT_EQ(IdentityKey(id), "01234567-89ab-cdef-2301-6745efcdab89");
}

TEST(component_key_test, identity_key_pads_with_zeros_and_uses_lower_case) {
  const unsigned char zeros[kClassIdSize] = {};
  EXPECT_EQ(IdentityKey(zeros), "00000000-0000-0000-0000-000000000000");
  unsigned char ones[kClassIdSize];
  for (unsigned char& b : ones) b = 0xFF;
  EXPECT_EQ(IdentityKey(ones), "ffffffff-ffff-ffff-ffff-ffffffffffff");
  const unsigned char low[kClassIdSize] = {1, 0, 0, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 0, 0};
  EXPECT_EQ(IdentityKey(low), "00000001-0002-0003-0004-000500000006");
}

TEST(component_key_test, origin_key_joins_module_and_index) {
  EXPECT_EQ(OriginKey("sample.dll", 2), "sample.dll*2");
  EXPECT_EQ(OriginKey("sample.dll", -1), "sample.dll*-1");
  EXPECT_EQ(OriginKey("", 0), "*0");
  EXPECT_EQ(OriginKey(nullptr, 0), "*0");
}

}  // namespace
}  // namespace tb
