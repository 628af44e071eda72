#include "base/lazy_import.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/fault_guard.h"

// A function of a DLL that does not exist, called through a lazy import slot of its own.
extern "C" __declspec(dllimport) int __stdcall TbLazyMissing(int value);

namespace {
constexpr wchar_t kMissingDll[] = L"tb-no-such-library.dll";
constexpr wchar_t kKernel32[] = L"kernel32.dll";
}  // namespace

TB_LAZY_IMPORT(kMissingDll, TbLazyMissing, "TbLazyMissing@4")
TB_LAZY_IMPORT(kKernel32, GetCurrentProcessId, "GetCurrentProcessId@0")

TEST(lazy_import_test, the_first_call_binds_the_slot_to_the_real_function) {
  const auto real = reinterpret_cast<decltype(&GetCurrentProcessId)>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetCurrentProcessId")));
  ASSERT_NE(real, nullptr);
  const DWORD id = GetCurrentProcessId();
  EXPECT_EQ(tb_lazy_slot_GetCurrentProcessId, real);
  EXPECT_EQ(GetCurrentProcessId(), id);
  EXPECT_EQ(id, real());
}

TEST(lazy_import_test, a_missing_library_raises_the_lazy_import_code) {
  unsigned long code = 0;
  int result = 0;
  EXPECT_FALSE(tb::Guarded([&] { result = TbLazyMissing(7); }, &code));
  EXPECT_EQ(code, tb::lazy::kLazyImportFailed);
  EXPECT_EQ(result, 0);
}

// Every module's C runtime start asks for the shared libgcc DLL; the module runtime's
// own import slot answers that at once and passes other names to the loader.
extern "C" decltype(&GetModuleHandleA) tb_get_module_handle_slot asm("__imp__GetModuleHandleA@4");

TEST(libgcc_lookup_test, answers_the_runtime_question_itself_and_passes_the_rest_on) {
  const auto loader = reinterpret_cast<decltype(&GetModuleHandleA)>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetModuleHandleA")));
  EXPECT_NE(tb_get_module_handle_slot, loader);
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleA("libgcc_s_dw2-1.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(GetModuleHandleA("KERNEL32.DLL"), GetModuleHandleW(L"kernel32.dll"));
  EXPECT_EQ(GetModuleHandleA(nullptr), GetModuleHandleW(nullptr));
  EXPECT_EQ(GetModuleHandleA("tb-no-such-library.dll"), nullptr);
}
