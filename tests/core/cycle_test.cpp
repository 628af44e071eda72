// The initialise/finish cycle: nesting, the settings read and stored, repeated cycles
// without growth, and the whole path through the built tunebay.dll.
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "core/manager.h"
#include "plugin_harness.h"
#include "support/test_support.h"
#include "support/test_thread.h"

namespace {

using tb::IManager;
using tbtest::FinishedCleanly;
using tbtest::PluginFolder;
using tbtest::ReleaseLast;
using tbtest::UnloadedEmpty;

tb::Manager* NewManager(const PluginFolder& folder) {
  IManager* manager = nullptr;
  EXPECT_TRUE(tb::Manager::GetInstance(&manager));
  folder.Configure(manager);
  return static_cast<tb::Manager*>(manager);
}

struct RawValue {
  DWORD type = REG_NONE;
  std::string bytes;
  bool exists = false;
};

void SetRaw(const PluginFolder& folder, const char* name, DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, folder.SettingsKey().c_str(), &key), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void SetDword(const PluginFolder& folder, const char* name, DWORD value) {
  SetRaw(folder, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4));
}

RawValue GetRaw(const PluginFolder& folder, const char* name) {
  RawValue value;
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_CURRENT_USER, folder.SettingsKey().c_str(), &key) != ERROR_SUCCESS) {
    return value;
  }
  char buffer[2048];
  DWORD size = sizeof buffer;
  if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer), &size) ==
      ERROR_SUCCESS) {
    value.exists = true;
    value.bytes.assign(buffer, size);
  }
  RegCloseKey(key);
  return value;
}

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }
std::string Text(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }

using Keys = std::vector<std::string>;

TEST(cycle_test, nested_initialise_only_counts_and_each_finish_asks_again) {
  PluginFolder folder("cycle_nested");
  folder.Add("tp_plugin", "zqa.dll", "[3:x,5:y]");
  tb::Manager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(manager->initCount(), 2);
  EXPECT_EQ(folder.log().Count("zqa primary"), 1);  // scanned once

  EXPECT_TRUE(manager->Finish());
  EXPECT_EQ(manager->initCount(), 1);
  EXPECT_TRUE(folder.IsLoaded("zqa.dll"));
  EXPECT_EQ(folder.log().Count("zqa shutdown x"), 0);
  EXPECT_EQ(folder.log().Count("zqa ready"), 1);

  EXPECT_TRUE(manager->Finish());
  EXPECT_EQ(manager->initCount(), 0);
  EXPECT_EQ(folder.log().Count("zqa ready"), 2);
  EXPECT_FALSE(folder.IsLoaded("zqa.dll"));
  EXPECT_TRUE(FinishedCleanly(folder.log(), "zqa", "x"));
  EXPECT_TRUE(FinishedCleanly(folder.log(), "zqa", "y"));
  EXPECT_TRUE(UnloadedEmpty(folder.log(), "zqa"));

  EXPECT_FALSE(manager->Finish());  // not initialised any more
  // Initialising again loads the plug-ins afresh.
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(folder.log().Count("zqa primary"), 2);
  EXPECT_TRUE(manager->Finish());
  EXPECT_EQ(folder.log().Count("zqa detach live=0"), 2);
  EXPECT_TRUE(ReleaseLast(static_cast<IUnknown*>(manager->primary())));
}

TEST(cycle_test, initialise_and_finish_from_inside_the_cycle_are_refused) {
  PluginFolder folder("cycle_reentry");
  folder.Add("tp_plugin", "zqa.dll", "3:a", "reenter=initialise,reenter=finish");
  tb::Manager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(manager->initCount(), 1);
  EXPECT_EQ(folder.log().Count("zqa primary"), 1);
  ASSERT_TRUE(manager->Finish());
  EXPECT_EQ(manager->initCount(), 0);
  for (const char* where : {"in setup", "in ready", "in shutdown"}) {
    for (const char* call : {"initialise", "finish"}) {
      const std::string line = std::string("zqa ") + where + " " + call + "=0 error=80000013";
      EXPECT_EQ(folder.log().Count(line), 1) << line << "\n" << folder.log().Text();
    }
  }
  EXPECT_TRUE(UnloadedEmpty(folder.log(), "zqa"));
  // Outside the cycle the same thread may call them again.
  ASSERT_TRUE(manager->Initialise());
  EXPECT_TRUE(manager->Finish());
  EXPECT_TRUE(ReleaseLast(static_cast<IUnknown*>(manager->primary())));
}

TEST(cycle_test, nested_cycles_from_several_threads_keep_the_count) {
  PluginFolder folder("cycle_threads");
  folder.Add("tp_plugin", "zqa.dll");
  tb::Manager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  std::atomic<int> failures{0};
  std::vector<tbtest::Thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 250; ++i) {
        if (!manager->Initialise() || !manager->Finish()) ++failures;
      }
    });
  }
  for (tbtest::Thread& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(manager->initCount(), 1);
  EXPECT_EQ(folder.log().Count("zqa primary"), 1);
  EXPECT_EQ(folder.log().Count("zqa ready"), 1000);
  EXPECT_TRUE(folder.IsLoaded("zqa.dll"));
  EXPECT_TRUE(manager->Finish());
  EXPECT_TRUE(FinishedCleanly(folder.log(), "zqa", "zqa"));
  EXPECT_TRUE(ReleaseLast(static_cast<IUnknown*>(manager->primary())));
}

TEST(cycle_test, finish_without_initialise_fails_and_keeps_the_stored_settings) {
  PluginFolder folder("cycle_never_initialised");
  SetDword(folder, "ArtistTitleSource", 3);
  SetDword(folder, "ArtistTitle_FileNameFormat", 4);
  SetRaw(folder, "SourceComponentOrder", REG_SZ, Text("k1?k2"));
  tb::Manager* manager = NewManager(folder);
  EXPECT_FALSE(manager->Finish());
  EXPECT_EQ(GetRaw(folder, "ArtistTitleSource").bytes, Dword(3));
  EXPECT_EQ(GetRaw(folder, "ArtistTitle_FileNameFormat").bytes, Dword(4));
  EXPECT_EQ(GetRaw(folder, "SourceComponentOrder").bytes, Text("k1?k2"));
  EXPECT_TRUE(ReleaseLast(static_cast<IUnknown*>(manager->primary())));

  // Nor is anything created where nothing was stored.
  folder.DeleteSettings();
  manager = NewManager(folder);
  EXPECT_FALSE(manager->Finish());
  EXPECT_FALSE(GetRaw(folder, "SourceComponentOrder").exists);
  EXPECT_FALSE(GetRaw(folder, "ArtistTitleSource").exists);
  EXPECT_TRUE(ReleaseLast(static_cast<IUnknown*>(manager->primary())));
}

TEST(cycle_test, settings_are_read_by_initialise_and_stored_by_every_finish) {
  PluginFolder folder("cycle_settings");
  SetDword(folder, "ArtistTitleSource", 2);
  SetDword(folder, "ArtistTitle_FileNameFormat", 0x10001);
  SetRaw(folder, "SourceComponentOrder", REG_SZ, Text("??a??b?"));
  tb::Manager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(manager->artistTitleSource(), 2);
  EXPECT_EQ(manager->artistTitleFileNameFormat(), 0x10001);
  EXPECT_EQ(manager->sourceOrder(), (Keys{"a", "b"}));

  // Changes made meanwhile are stored, also by a Finish that does not unload.
  manager->setArtistTitleSource(5);
  ASSERT_TRUE(manager->Initialise());
  EXPECT_TRUE(manager->Finish());
  EXPECT_EQ(GetRaw(folder, "ArtistTitleSource").bytes, Dword(5));
  EXPECT_EQ(GetRaw(folder, "ArtistTitleSource").type, static_cast<DWORD>(REG_DWORD));
  const RawValue order = GetRaw(folder, "SourceComponentOrder");
  EXPECT_EQ(order.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(order.bytes, Text("a?b"));
  EXPECT_TRUE(manager->Finish());

  // Initialise, Finish, Initialise: the keys of the registry, each once.
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(manager->sourceOrder(), (Keys{"a", "b"}));
  EXPECT_TRUE(manager->Finish());
  // A Finish after the last one still stores (and reports false).
  manager->setArtistTitleFileNameFormat(9);
  EXPECT_FALSE(manager->Finish());
  EXPECT_EQ(GetRaw(folder, "ArtistTitle_FileNameFormat").bytes, Dword(9));
  EXPECT_TRUE(ReleaseLast(static_cast<IUnknown*>(manager->primary())));
}

TEST(cycle_test, missing_settings_are_stored_as_their_initial_values) {
  PluginFolder folder("cycle_missing");
  tb::Manager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(manager->artistTitleSource(), 0);
  EXPECT_TRUE(manager->sourceOrder().empty());
  EXPECT_TRUE(manager->Finish());
  EXPECT_EQ(GetRaw(folder, "ArtistTitleSource").bytes, Dword(0));
  EXPECT_EQ(GetRaw(folder, "ArtistTitle_FileNameFormat").bytes, Dword(0));
  EXPECT_EQ(GetRaw(folder, "SourceComponentOrder").bytes, Text(""));
  EXPECT_TRUE(ReleaseLast(static_cast<IUnknown*>(manager->primary())));
}

TEST(cycle_test, values_of_the_wrong_type_or_size_give_the_documented_result) {
  struct Case {
    const char* what;
    DWORD sourceType;
    std::string source;
    DWORD formatType;
    std::string format;
    DWORD orderType;
    std::string order;
    int32_t expectedSource;
    int32_t expectedFormat;
    Keys expectedOrder;
  };
  const Case cases[] = {
      // Numbers of at most 4 bytes are taken whatever their type, into the low end.
      {"short raw bytes",
       REG_BINARY,
       std::string("\x34\x12", 2),
       REG_SZ,
       Text("7"),
       REG_EXPAND_SZ,
       Text("a?b"),
       0x1234,
       '7',
       {}},
      // Longer values are not read at all; texts of another type read as empty.
      {"too long",
       REG_SZ,
       Text("123456789"),
       REG_BINARY,
       std::string(8, '\x01'),
       REG_MULTI_SZ,
       std::string("a\0b\0\0", 5),
       0,
       0,
       {}},
      {"empty values",
       REG_DWORD,
       std::string(),
       REG_BINARY,
       std::string(),
       REG_DWORD,
       Dword(0x3F613F),
       0,
       0,
       {}},
      {"text without its zero",
       REG_DWORD,
       Dword(1),
       REG_DWORD,
       Dword(2),
       REG_SZ,
       std::string("x?y"),
       1,
       2,
       {"x", "y"}},
      {"over-long order",
       REG_DWORD,
       Dword(1),
       REG_DWORD,
       Dword(2),
       REG_SZ,
       Text(std::string(1000, 'k')),
       1,
       2,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PluginFolder folder("cycle_wrong_types");
    SetRaw(folder, "ArtistTitleSource", c.sourceType, c.source);
    SetRaw(folder, "ArtistTitle_FileNameFormat", c.formatType, c.format);
    SetRaw(folder, "SourceComponentOrder", c.orderType, c.order);
    tb::Manager* manager = NewManager(folder);
    ASSERT_TRUE(manager->Initialise());
    EXPECT_EQ(manager->artistTitleSource(), c.expectedSource);
    EXPECT_EQ(manager->artistTitleFileNameFormat(), c.expectedFormat);
    EXPECT_EQ(manager->sourceOrder(), c.expectedOrder);
    EXPECT_TRUE(manager->Finish());
    // Stored back in the proper types.
    const RawValue source = GetRaw(folder, "ArtistTitleSource");
    EXPECT_EQ(source.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(source.bytes, Dword(c.expectedSource));
    EXPECT_EQ(GetRaw(folder, "ArtistTitle_FileNameFormat").bytes, Dword(c.expectedFormat));
    const RawValue order = GetRaw(folder, "SourceComponentOrder");
    EXPECT_EQ(order.type, static_cast<DWORD>(REG_SZ));
    std::string joined;
    for (const std::string& key : c.expectedOrder) joined += (joined.empty() ? "" : "?") + key;
    EXPECT_EQ(order.bytes, Text(joined));
    EXPECT_TRUE(ReleaseLast(static_cast<IUnknown*>(manager->primary())));
  }
}

// What a process holds that a leaking cycle would grow.
struct Footprint {
  DWORD handles = 0;
  std::vector<std::string> modules;
  size_t heapBytes = 0;
};

Footprint Measure() {
  Footprint f;
  GetProcessHandleCount(GetCurrentProcess(), &f.handles);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
  if (snapshot != INVALID_HANDLE_VALUE) {
    MODULEENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) {
      f.modules.push_back(entry.szExePath);
    }
    CloseHandle(snapshot);
  }
  std::sort(f.modules.begin(), f.modules.end());
  HANDLE heaps[128];
  const DWORD count = GetProcessHeaps(128, heaps);
  for (DWORD i = 0; i < count && i < 128; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) f.heapBytes += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return f;
}

TEST(cycle_test, two_hundred_cycles_leave_no_growth) {
  PluginFolder folder("cycle_repeat");
  folder.Add("tp_plugin", "zqa.dll", "[3:a1,[4:a2,5:a3],6:a4!,3:a5^]");
  folder.Add("tp_stdcall", "zqb.dll", "5:b1");
  folder.Add("tp_plugin", "zqfault.dll", "", "primary=av");
  folder.Add("tp_noready", "zqhalf.dll");
  ASSERT_TRUE(folder.Write("zqjunk.dll", "not a library"));
  const char* libraries[] = {"zqa", "zqb", "zqfault", "zqhalf"};

  auto cycle = [&]() {
    folder.log().Clear();
    tb::Manager* manager = NewManager(folder);
    bool ok = manager->Initialise();
    ok = tbtest::ReadCatalogue(manager).size() == 4 && ok;
    ok = manager->Finish() && ok;
    for (const char* base : libraries) ok = ok && UnloadedEmpty(folder.log(), base);
    ok = manager->Release() == 0 && ok;
    return ok;
  };
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(cycle()) << folder.log().Text();
  const Footprint before = Measure();
  int failures = 0;
  for (int i = 0; i < 200; ++i) failures += cycle() ? 0 : 1;
  const Footprint after = Measure();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(after.handles, before.handles);
  EXPECT_EQ(after.modules, before.modules);
  // A leak of even a few bytes a cycle shows after 200 of them; a little slack is
  // left for the platform's own bookkeeping.
  EXPECT_LT(after.heapBytes, before.heapBytes + 4096)
      << "heap grew from " << before.heapBytes << " to " << after.heapBytes;
}

TEST(cycle_test, whole_cycle_through_the_built_library) {
  PluginFolder folder("cycle_dll");
  folder.Add("tp_plugin", "zqdll.dll", "[3:d1,[5:d2,6:d3]]");
  SetRaw(folder, "SourceComponentOrder", REG_SZ, Text("k2??k1"));
  HMODULE library = LoadLibraryA((tbtest::ExeFolder() + "tunebay.dll").c_str());
  ASSERT_NE(library, nullptr);
  auto get = reinterpret_cast<tb::GetTunebayFn>(
      reinterpret_cast<void*>(GetProcAddress(library, "GetTunebay")));
  ASSERT_NE(get, nullptr);
  IManager* manager = nullptr;
  ASSERT_TRUE(get(&manager));
  folder.Configure(manager);
  ASSERT_TRUE(manager->Initialise());
  const std::vector<tbtest::CatalogueEntry> expected = {
      {"d1", 3, "zqdll.dll", 0},
      {"d2", 5, "zqdll.dll", 0},
      {"d3", 6, "zqdll.dll", 1},
  };
  EXPECT_EQ(tbtest::ReadCatalogue(manager), expected);
  tb::IConvertor* convertor = nullptr;
  ASSERT_TRUE(manager->GetConvertor(&convertor));
  EXPECT_NE(convertor, nullptr);
  if (convertor) convertor->Release();
  EXPECT_TRUE(manager->Finish());
  for (const char* name : {"d1", "d2", "d3"}) {
    EXPECT_TRUE(FinishedCleanly(folder.log(), "zqdll", name));
  }
  EXPECT_TRUE(UnloadedEmpty(folder.log(), "zqdll"));
  EXPECT_FALSE(folder.IsLoaded("zqdll.dll"));
  EXPECT_EQ(GetRaw(folder, "SourceComponentOrder").bytes, Text("k2?k1"));
  EXPECT_TRUE(ReleaseLast(manager));
  FreeLibrary(library);
}

}  // namespace
