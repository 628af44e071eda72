// Why a library does not load, read from its file: the machine, a missing library, a
// missing function and bytes that are no image, each against a real file.
#include "base/image_check.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

// Loads `path` as the scan does and explains the failure; empty when it loaded.
std::string LoadAndExplain(const std::string& path) {
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
  HMODULE module = LoadLibraryA(path.c_str());
  const DWORD error = GetLastError();
  SetErrorMode(previous);
  if (module) {
    FreeLibrary(module);
    return std::string();
  }
  return tb::ExplainLoadFailure(path, error);
}

TEST(image_check_test, names_the_cause_a_file_shows) {
  tbtest::TempFolder folder;
  const std::string plugins = tbtest::TestPluginFolder();
  ASSERT_TRUE(folder.CopyIn(plugins + "needs_helper.dll", "zqneeds.dll"));
  ASSERT_TRUE(folder.Write("zqjunk.dll", std::string(300, '\x5a')));
  ASSERT_TRUE(folder.Write("zqcut.dll", std::string("MZ") + std::string(100, '\0')));
  const std::string base = folder.path() + "\\";

  EXPECT_EQ(LoadAndExplain(base + "zqneeds.dll"), "needs absent_helper.dll, which is not found");
  tb::PeImage image;
  ASSERT_TRUE(tb::ReadImageFile(base + "zqneeds.dll", image));
  ASSERT_EQ(tb::FindUnresolvedImports(base + "zqneeds.dll", image).size(), 1u);

  // The library is there, but not the function.
  ASSERT_TRUE(folder.CopyIn(plugins + "other_helper.dll", "absent_helper.dll"));
  EXPECT_EQ(LoadAndExplain(base + "zqneeds.dll"),
            "needs tb_absent_helper_value from absent_helper.dll, which does not export it");

  EXPECT_EQ(LoadAndExplain(base + "zqjunk.dll"), "not an executable image (no MZ header)");
  EXPECT_EQ(LoadAndExplain(base + "zqcut.dll"), "not a Windows image (no PE header)");
  if (GetFileAttributesA((plugins + "wide64.dll").c_str()) != INVALID_FILE_ATTRIBUTES) {
    EXPECT_EQ(LoadAndExplain(plugins + "wide64.dll"),
              "built for x64 (64-bit); plug-ins must be 32-bit x86 libraries");
  }
  EXPECT_EQ(LoadAndExplain(base + "missing.dll").rfind("cannot be read: ", 0), 0u);
}

}  // namespace
