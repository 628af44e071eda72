#include "core/module_names.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tb {
namespace {

TEST(module_names_test, prefixed_names_are_admitted_in_any_case) {
  EXPECT_TRUE(IsAdmittedModuleName("zqsample.dll"));
  EXPECT_TRUE(IsAdmittedModuleName("ZQother.DLL"));
  EXPECT_TRUE(IsAdmittedModuleName("zQ.dll"));
  EXPECT_FALSE(IsAdmittedModuleName("unrelated.dll"));
  EXPECT_FALSE(IsAdmittedModuleName("qzsample.dll"));
  EXPECT_FALSE(IsAdmittedModuleName("z.dll"));
}

TEST(module_names_test, only_names_ending_in_dll_are_admitted) {
  EXPECT_FALSE(IsAdmittedModuleName("zqold.dll.bak"));
  EXPECT_FALSE(IsAdmittedModuleName("zqsample.dllx"));
  EXPECT_FALSE(IsAdmittedModuleName(".dll"));
  EXPECT_FALSE(IsAdmittedModuleName(""));
  EXPECT_FALSE(IsAdmittedModuleName("zq"));
}

TEST(module_names_test, allow_list_has_fifteen_distinct_dll_names_admitted_in_any_case) {
  std::set<std::string> seen;
  for (const char* name : kAllowListNames) {
    std::string text = name;
    EXPECT_TRUE(seen.insert(text).second) << text;
    EXPECT_TRUE(IsAdmittedModuleName(text)) << text;
    for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    EXPECT_TRUE(IsAdmittedModuleName(text)) << text;
    // A name is admitted whole, never as a prefix.
    EXPECT_FALSE(IsAdmittedModuleName("x" + std::string(name))) << name;
  }
  EXPECT_EQ(seen.size(), 15u);
  EXPECT_EQ(seen.count(kDesignatedModuleName), 1u);
}

TEST(module_names_test, designated_module_is_recognised_without_regard_to_case) {
  std::string upper = kDesignatedModuleName;
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  EXPECT_TRUE(IsDesignatedModuleName(kDesignatedModuleName));
  EXPECT_TRUE(IsDesignatedModuleName(upper));
  EXPECT_FALSE(IsDesignatedModuleName(std::string(kDesignatedModuleName) + "x"));
}

TEST(module_names_test, host_module_path_uses_the_executable_folder) {
  const std::string expected =
      std::string("C:\\Suite\\Bin\\AudioPlugins\\") + kDesignatedModuleName;
  EXPECT_EQ(HostModulePath("C:\\Suite\\Bin\\burner.exe"), expected);
  EXPECT_EQ(HostModulePath("burner.exe"), std::nullopt);
  EXPECT_EQ(HostModulePath(""), std::nullopt);
}

TEST(module_names_test, host_module_path_longer_than_the_limit_is_refused_not_cut) {
  const std::string tail = std::string("AudioPlugins\\") + kDesignatedModuleName;
  // A folder that makes the path exactly as long as allowed, then one character more.
  std::string folder = "C:\\";
  while (folder.size() + tail.size() < kMaxLoadPathLength) folder += 'd';
  folder.back() = '\\';
  ASSERT_EQ(folder.size() + tail.size(), kMaxLoadPathLength);
  EXPECT_EQ(HostModulePath(folder + "host.exe"), folder + tail);
  folder.back() = 'd';
  folder += '\\';
  EXPECT_EQ(HostModulePath(folder + "host.exe"), std::nullopt);
}

TEST(module_names_test, base_name_drops_folder_and_extension) {
  EXPECT_EQ(ModuleBaseName("C:\\plug ins\\zqa.dll"), "zqa");
  EXPECT_EQ(ModuleBaseName("zqb.x.dll"), "zqb.x");
  EXPECT_EQ(ModuleBaseName("D:zqc.dll"), "zqc");
  EXPECT_EQ(ModuleBaseName("a/b/noext"), "noext");
  EXPECT_EQ(ModuleBaseName(""), "");
}

}  // namespace
}  // namespace tb
