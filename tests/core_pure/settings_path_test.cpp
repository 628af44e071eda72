#include "core/settings_path.h"

#include <gtest/gtest.h>

namespace tb {
namespace {

TEST(settings_path_test, omitted_fourth_name_leaves_trailing_backslash) {
  EXPECT_EQ(SettingsKeyPath("A", "B", "Tunebay", nullptr), "Software\\A\\B\\Tunebay\\");
  EXPECT_EQ(SettingsKeyPath("A", "B", "Tunebay", ""), "Software\\A\\B\\Tunebay\\");
  EXPECT_EQ(SettingsKeyPath("A", "B", "C", "D"), "Software\\A\\B\\C\\D");
}

TEST(settings_path_test, empty_names_are_used_as_they_are) {
  EXPECT_EQ(SettingsKeyPath("", "", "Tunebay", nullptr), "Software\\\\\\Tunebay\\");
}

TEST(settings_path_test, null_among_first_three_names_gives_no_path) {
  EXPECT_FALSE(SettingsKeyPath(nullptr, "B", "C", nullptr));
  EXPECT_FALSE(SettingsKeyPath("A", nullptr, "C", nullptr));
  EXPECT_FALSE(SettingsKeyPath("A", "B", nullptr, "D"));
}

}  // namespace
}  // namespace tb
