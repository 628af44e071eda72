// The built tunebay.dll as a host sees it: its export and import tables, and the
// manager reached through GetTunebay and raw table slots only.
#include <windows.h>

#include <tunebay/tunebay.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

// Reads a DLL's export names and imported DLL names from its file image.
struct PeTables {
  std::vector<std::string> exports;
  std::vector<std::string> imports;
  bool ok = false;
};

PeTables ReadPeTables(const std::string& path) {
  PeTables tables;
  // Mapped as an image (not executed): RVAs can be followed directly.
  HMODULE image = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (!image) return tables;
  auto* base = reinterpret_cast<const unsigned char*>(image);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& exp = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (exp.VirtualAddress) {
    auto* dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exp.VirtualAddress);
    auto* names = reinterpret_cast<const DWORD*>(base + dir->AddressOfNames);
    for (DWORD i = 0; i < dir->NumberOfNames; ++i) {
      tables.exports.push_back(reinterpret_cast<const char*>(base + names[i]));
    }
    tables.ok = dir->NumberOfFunctions == dir->NumberOfNames;
  }
  const IMAGE_DATA_DIRECTORY& imp = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imp.VirtualAddress) {
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imp.VirtualAddress);
         d->Name != 0; ++d) {
      std::string name = reinterpret_cast<const char*>(base + d->Name);
      std::transform(name.begin(), name.end(), name.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      tables.imports.push_back(name);
    }
  }
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  FreeLibrary(image);
  return tables;
}

std::string DllPath() { return tbtest::ExeFolder() + "tunebay.dll"; }

TEST(dll_binary_test, exports_only_get_tunebay_by_its_plain_name) {
  PeTables tables = ReadPeTables(DllPath());
  ASSERT_TRUE(tables.ok);
  ASSERT_EQ(tables.exports.size(), 1u);
  EXPECT_EQ(tables.exports[0], "GetTunebay");
}

TEST(dll_binary_test, imports_only_dlls_that_ship_with_windows) {
  PeTables tables = ReadPeTables(DllPath());
  const std::set<std::string> system = {
      "kernel32.dll", "user32.dll",   "gdi32.dll", "advapi32.dll", "comctl32.dll",
      "msvcrt.dll",   "shell32.dll",  "ole32.dll", "oleaut32.dll", "shlwapi.dll",
      "version.dll",  "comdlg32.dll", "ntdll.dll",
  };
  ASSERT_FALSE(tables.imports.empty());
  for (const std::string& name : tables.imports) {
    EXPECT_TRUE(system.count(name)) << "unexpected import " << name;
  }
  // The common controls are loaded when a dialog first shows, and the window system at
  // a dialog's first call of it: under Wine their start costs every host a tenth and a
  // few hundredths of a second.
  EXPECT_FALSE(std::count(tables.imports.begin(), tables.imports.end(), "comctl32.dll"));
  EXPECT_FALSE(std::count(tables.imports.begin(), tables.imports.end(), "user32.dll"));
}

class DllHost : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = LoadLibraryA(DllPath().c_str());
    ASSERT_NE(library_, nullptr);
    get_ = reinterpret_cast<tb::GetTunebayFn>(
        reinterpret_cast<void*>(GetProcAddress(library_, "GetTunebay")));
    ASSERT_NE(get_, nullptr);
  }
  void TearDown() override { FreeLibrary(library_); }
  HMODULE library_ = nullptr;
  tb::GetTunebayFn get_ = nullptr;
};

TEST_F(DllHost, get_tunebay_refuses_a_null_slot) { EXPECT_FALSE(get_(nullptr)); }

TEST_F(DllHost, manager_answers_through_raw_table_slots) {
  tb::IManager* manager = nullptr;
  ASSERT_TRUE(get_(&manager));
  ASSERT_NE(manager, nullptr);
  void** table = *reinterpret_cast<void***>(manager);
  // Slot 9 is Reserved(pointer): false. Slot 3 is SetPluginFolder(text): true before
  // Initialise.
  using ReservedFn = bool(__stdcall*)(void*, void*);
  using FolderFn = bool(__stdcall*)(void*, const char*);
  EXPECT_FALSE(reinterpret_cast<ReservedFn>(table[9])(manager, manager));
  EXPECT_TRUE(reinterpret_cast<FolderFn>(table[3])(manager, "x"));
  // Slot 17 LookupService(id, out) of an unregistered id: false.
  using LookupFn = bool(__stdcall*)(void*, const GUID*, IUnknown**);
  const GUID id = {9, 9, 9, {9}};
  EXPECT_FALSE(reinterpret_cast<LookupFn>(table[17])(manager, &id, nullptr));
  tb::IManager* again = nullptr;
  ASSERT_TRUE(get_(&again));
  EXPECT_EQ(again, manager);
  EXPECT_EQ(again->Release(), 1u);
  EXPECT_TRUE(tbtest::ReleaseLast(manager));
}

}  // namespace
