// Load/unload cycles leave nothing behind: the manager with every bundled plug-in,
// tunebay.dll itself, and a plug-in that throws and catches C++ exceptions on each load.
// The soak bench runs the same cycles ten thousand times.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "bench/footprint.h"
#include "bench/soak.h"
#include "support/test_support.h"

namespace {

::testing::AssertionResult Flat(const tbsoak::Footprint& before, const tbsoak::Footprint& after) {
  // Heap slack for the platform's own bookkeeping; a leak of a few bytes a cycle is more.
  if (after.handles == before.handles && after.modules == before.modules &&
      after.freeTlsSlots == before.freeTlsSlots && after.heapBytes < before.heapBytes + 4096) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "before: " << tbsoak::Describe(before) << "\nafter:  " << tbsoak::Describe(after);
}

tbsoak::SoakSetup BundledSetup() {
  const std::string folder = tbtest::ExeFolder();
  return {folder + "tunebay.dll", folder + "plugins", "soak_test"};
}

TEST(soak_test, manager_cycles_with_the_bundled_plugins_leave_no_growth) {
  const tbsoak::SoakSetup setup = BundledSetup();
  int components = -1;
  std::string why;
  ASSERT_EQ(tbsoak::RunCycles(setup, 5, false, &components, &why), 0) << why;
  EXPECT_GE(components, 5);  // every bundled plug-in contributes
  const tbsoak::Footprint before = tbsoak::Measure();
  EXPECT_EQ(tbsoak::RunCycles(setup, 300, false, &components, &why), 0) << why;
  EXPECT_TRUE(Flat(before, tbsoak::Measure()));
}

TEST(soak_test, loading_and_freeing_the_library_leaves_no_growth) {
  const tbsoak::SoakSetup setup = BundledSetup();
  int components = -1;
  std::string why;
  ASSERT_EQ(tbsoak::RunCycles(setup, 5, true, &components, &why), 0) << why;
  const tbsoak::Footprint before = tbsoak::Measure();
  EXPECT_EQ(tbsoak::RunCycles(setup, 60, true, &components, &why), 0) << why;
  EXPECT_TRUE(Flat(before, tbsoak::Measure()));
}

// This test program links the window system itself, so it cannot see whether the library
// starts it; the soak bench links only the kernel and the C runtime and exits 0 only when
// its cycles, which show no dialog, never started it (besides its own growth checks).
TEST(soak_test, cycles_without_a_dialog_leave_a_host_without_the_window_system) {
  std::string line = "\"" + tbtest::ExeFolder() + "soak_bench.exe\" 4 8";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process))
      << GetLastError();
  DWORD code = 1;
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u);
}

TEST(soak_test, a_plugin_that_throws_and_catches_on_each_load_leaves_no_growth) {
  const std::string path = tbtest::TestPluginFolder() + "faulty.dll";
  auto cycle = [&] {
    HMODULE library = LoadLibraryA(path.c_str());
    if (!library) return false;
    auto catchOwnThrow =
        reinterpret_cast<int(__cdecl*)(int)>(GetProcAddress(library, "CatchOwnThrow"));
    const bool ok = catchOwnThrow && catchOwnThrow(7) == 7;
    FreeLibrary(library);
    return ok;
  };
  ASSERT_TRUE(cycle());
  const tbsoak::Footprint before = tbsoak::Measure();
  int failures = 0;
  for (int i = 0; i < 300; ++i) failures += cycle() ? 0 : 1;
  EXPECT_EQ(failures, 0);
  EXPECT_TRUE(Flat(before, tbsoak::Measure()));
}

}  // namespace
