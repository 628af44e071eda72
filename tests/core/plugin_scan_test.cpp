// The plug-in scan, the readiness check and unloading, over real plug-in libraries
// copied into temporary folders.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "core/globals.h"
#include "core/manager.h"
#include "core/module_names.h"
#include "core/trace.h"
#include "plugin_harness.h"
#include "support/test_support.h"

namespace {

using tb::IManager;
using tbtest::CatalogueEntry;
using tbtest::FinishedCleanly;
using tbtest::PluginFolder;
using tbtest::ReadCatalogue;
using tbtest::ReleaseLast;
using tbtest::UnloadedEmpty;

IManager* NewManager(const PluginFolder& folder) {
  IManager* manager = nullptr;
  EXPECT_TRUE(tb::Manager::GetInstance(&manager));
  folder.Configure(manager);
  return manager;
}

LONG InitCount(IManager* manager) { return static_cast<tb::Manager*>(manager)->initCount(); }

// Collects what the trace is told while it lives.
class TraceCapture {
 public:
  TraceCapture() {
    texts().clear();
    tb::SetTraceSink([](const char* text) { texts().push_back(text); });
  }
  ~TraceCapture() { tb::SetTraceSink(nullptr); }
  static std::vector<std::string>& texts() {
    static std::vector<std::string> collected;
    return collected;
  }
};

// The admitted names of `folder` in the order the folder search returns them.
std::vector<std::string> SearchOrder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*.dll").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (tb::IsAdmittedModuleName(entry.cFileName)) {
      names.push_back(PluginFolder::BaseOf(entry.cFileName));
    }
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return names;
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(MAX_PATH, buffer);
  return std::string(buffer, n);
}

TEST(plugin_scan_test, loads_prefixed_and_allow_listed_names_in_search_order) {
  PluginFolder folder("scan_names");
  folder.Add("tp_plugin", "zqsample.dll");
  folder.Add("tp_plugin", "ZQother.dll");
  folder.Add("tp_plugin", "WAVAUDIO.DLL");
  folder.Add("tp_plugin", "unrelated.dll");
  folder.Add("tp_plugin", "zqold.dll.bak");
  IManager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());

  const std::vector<std::string> loaded = folder.log().Attached();
  EXPECT_EQ(loaded, SearchOrder(folder.path()));
  EXPECT_EQ(loaded.size(), 3u) << folder.log().Text();
  EXPECT_FALSE(folder.IsLoaded("unrelated.dll"));
  // Each library's default primary object is one decoder named after it, at index 0,
  // recorded under the file name as the search returned it.
  std::vector<CatalogueEntry> expected;
  for (const std::string& base : loaded) {
    const std::string file = base == "zqsample"  ? "zqsample.dll"
                             : base == "zqother" ? "ZQother.dll"
                                                 : "WAVAUDIO.DLL";
    expected.push_back({base, tb::kKindDecoder, file, 0});
  }
  EXPECT_EQ(ReadCatalogue(manager), expected);

  ASSERT_TRUE(manager->Finish());
  for (const std::string& base : loaded) {
    EXPECT_TRUE(FinishedCleanly(folder.log(), base, base));
    EXPECT_TRUE(UnloadedEmpty(folder.log(), base));
  }
  EXPECT_FALSE(folder.IsLoaded("zqsample.dll"));
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(plugin_scan_test, collections_are_flattened_with_innermost_indexes) {
  PluginFolder folder("scan_collections");
  folder.Add("tp_plugin", "zqcoll.dll", "[3:a,[4:b,[3:c],5:d],6:e]");
  IManager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  const std::vector<CatalogueEntry> expected = {
      {"a", 3, "zqcoll.dll", 0}, {"b", 4, "zqcoll.dll", 0}, {"c", 3, "zqcoll.dll", 0},
      {"d", 5, "zqcoll.dll", 2}, {"e", 6, "zqcoll.dll", 2},
  };
  EXPECT_EQ(ReadCatalogue(manager), expected);
  // The collections themselves were released by the intake, not kept.
  for (const char* coll : {"coll0", "coll1", "coll2"}) {
    EXPECT_EQ(folder.log().Count(std::string("zqcoll destroy ") + coll), 1) << coll;
  }
  EXPECT_TRUE(folder.IsLoaded("zqcoll.dll"));

  ASSERT_TRUE(manager->Finish());
  for (const char* name : {"a", "b", "c", "d", "e"}) {
    EXPECT_TRUE(FinishedCleanly(folder.log(), "zqcoll", name));
  }
  EXPECT_TRUE(UnloadedEmpty(folder.log(), "zqcoll"));
  EXPECT_FALSE(folder.IsLoaded("zqcoll.dll"));
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(plugin_scan_test, failed_setup_removes_the_component_and_its_error_is_released) {
  PluginFolder folder("scan_setup");
  folder.Add("tp_plugin", "zqsetup.dll", "[3:a,3:b!,3:c^,3:d+,3:e!]");
  IManager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  const std::vector<CatalogueEntry> expected = {
      {"a", 3, "zqsetup.dll", 0},
      {"d", 3, "zqsetup.dll", 3},
  };
  EXPECT_EQ(ReadCatalogue(manager), expected);
  const tbtest::PluginLog& log = folder.log();
  for (const char* name : {"a", "b", "c", "d", "e"}) {
    EXPECT_EQ(log.Count(std::string("zqsetup setup ") + name), 1) << name;
  }
  // Removed at once, each exactly once; both error objects released, also the one
  // that came with a successful Setup.
  for (const char* name : {"b", "c", "e"}) {
    EXPECT_EQ(log.Count(std::string("zqsetup destroy ") + name), 1) << name;
  }
  EXPECT_EQ(log.Count("zqsetup destroy error"), 2);
  EXPECT_EQ(log.Count("zqsetup overrelease error"), 0);

  ASSERT_TRUE(manager->Finish());
  EXPECT_TRUE(FinishedCleanly(log, "zqsetup", "a"));
  EXPECT_TRUE(FinishedCleanly(log, "zqsetup", "d"));
  EXPECT_EQ(log.Count("zqsetup shutdown b"), 0);
  EXPECT_TRUE(UnloadedEmpty(log, "zqsetup"));
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(plugin_scan_test, first_convertor_and_downloader_that_set_up_are_held) {
  PluginFolder folder("scan_held");
  // conv0 fails Setup, conv1 sets up but lacks the interface, conv2 is held and conv3
  // is never asked; likewise for the downloaders.
  folder.Add("tp_plugin", "zqheld.dll", "[5:conv0!,5:conv1~,5:conv2,5:conv3,6:dl1,6:dl2]");
  IManager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  const tbtest::PluginLog& log = folder.log();
  EXPECT_EQ(log.Count("zqheld query conv0 convertor"), 0);
  EXPECT_EQ(log.Count("zqheld query conv1 convertor"), 1);
  EXPECT_EQ(log.Count("zqheld query conv2 convertor"), 1);
  EXPECT_EQ(log.Count("zqheld query conv3 convertor"), 0);
  EXPECT_EQ(log.Count("zqheld query dl1 downloader"), 1);
  EXPECT_EQ(log.Count("zqheld query dl2 downloader"), 0);

  tb::IConvertor* held = nullptr;
  ASSERT_TRUE(manager->GetConvertor(&held));
  ASSERT_NE(held, nullptr);
  // The held convertor is conv2's: catalogue entry 1 (conv0 was removed).
  tb::IComponentCollection* catalogue = tbtest::Query<tb::IComponentCollection>(manager);
  tb::IComponent* conv2 = nullptr;
  ASSERT_TRUE(catalogue->GetItem(1, &conv2));
  EXPECT_STREQ(conv2->GetName(), "conv2");
  tb::IConvertor* fromComponent = tbtest::Query<tb::IConvertor>(conv2);
  EXPECT_EQ(fromComponent, held);
  // catalogue + manager's held reference + ours from GetItem + two queries.
  EXPECT_EQ(tbtest::RefCount(conv2), 5u);
  fromComponent->Release();
  held->Release();
  conv2->Release();
  catalogue->Release();

  ASSERT_TRUE(manager->Finish());
  for (const char* name : {"conv1", "conv2", "conv3", "dl1", "dl2"}) {
    EXPECT_TRUE(FinishedCleanly(log, "zqheld", name));
  }
  EXPECT_TRUE(UnloadedEmpty(log, "zqheld"));
  EXPECT_TRUE(ReleaseLast(manager));
}

// A convertor of the host's own.
class HostConvertor : public tb::IConvertor {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID, void** out) noexcept override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return ++count; }
  ULONG TB_STDCALL Release() noexcept override { return --count; }
  bool TB_STDCALL CanConvert(const tb::AudioFormat*, const tb::AudioFormat*) noexcept override {
    return true;
  }
  bool TB_STDCALL CreateConversion(const tb::AudioFormat*, const tb::AudioFormat*,
                                   tb::IConversion**, int32_t) noexcept override {
    return false;
  }
  ULONG count = 1;
};

TEST(plugin_scan_test, convertor_set_by_the_host_before_initialise_stays) {
  PluginFolder folder("scan_host_convertor");
  folder.Add("tp_plugin", "zqconv.dll", "5:conv", "ready=sole");
  IManager* manager = NewManager(folder);
  HostConvertor mine;
  ASSERT_TRUE(manager->SetConvertor(&mine, nullptr));
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(folder.log().Count("zqconv query conv convertor"), 0);
  tb::IConvertor* held = nullptr;
  ASSERT_TRUE(manager->GetConvertor(&held));
  EXPECT_EQ(held, &mine);
  held->Release();

  // The host drops its own reference: the manager's is the only one left, and the
  // readiness check must not destroy the object by letting go of it.
  EXPECT_EQ(mine.count, 2u);
  mine.count = 1;
  EXPECT_TRUE(manager->IsReadyToFinish());
  EXPECT_EQ(mine.count, 1u);
  ASSERT_TRUE(manager->GetConvertor(&held));
  EXPECT_EQ(held, &mine);
  held->Release();
  mine.count = 2;  // the host's reference again, for the end

  ASSERT_TRUE(manager->Finish());
  EXPECT_EQ(mine.count, 1u);  // the last Finish lets go of the held convertor
  EXPECT_TRUE(FinishedCleanly(folder.log(), "zqconv", "conv"));
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(plugin_scan_test, readiness_check_shows_plugins_only_the_catalogue_references) {
  PluginFolder folder("scan_sole");
  folder.Add("tp_plugin", "zqsole.dll", "[5:conv,6:dl,3:dec]", "ready=sole");
  IManager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  // The plug-in answers ready only while each component has one reference, so the
  // held convertor and downloader must be let go during the check.
  EXPECT_TRUE(manager->IsReadyToFinish()) << folder.log().Text();
  tb::IConvertor* held = nullptr;
  ASSERT_TRUE(manager->GetConvertor(&held));
  ASSERT_NE(held, nullptr);  // held again afterwards
  held->Release();
  ASSERT_TRUE(manager->Finish()) << folder.log().Text();
  for (const char* name : {"conv", "dl", "dec"}) {
    EXPECT_TRUE(FinishedCleanly(folder.log(), "zqsole", name));
  }
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(plugin_scan_test, stdcall_entry_points_work_like_cdecl_ones) {
  PluginFolder folder("scan_stdcall");
  folder.Add("tp_stdcall", "zqstd.dll", "[3:s1,4:s2]");
  folder.Add("tp_plugin", "zqcdecl.dll");
  IManager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(ReadCatalogue(manager).size(), 3u);
  EXPECT_TRUE(manager->IsReadyToFinish());
  EXPECT_EQ(folder.log().Count("zqstd ready"), 1);
  ASSERT_TRUE(manager->Finish());
  EXPECT_TRUE(FinishedCleanly(folder.log(), "zqstd", "s1"));
  EXPECT_TRUE(FinishedCleanly(folder.log(), "zqstd", "s2"));
  EXPECT_TRUE(UnloadedEmpty(folder.log(), "zqstd"));
  EXPECT_TRUE(ReleaseLast(manager));
}

// A minimal PE32+ (x64) DLL image header: a valid library, of the wrong machine.
std::string SixtyFourBitDll() {
  std::string image(1024, '\0');
  auto put16 = [&](size_t at, uint16_t v) { memcpy(&image[at], &v, 2); };
  auto put32 = [&](size_t at, uint32_t v) { memcpy(&image[at], &v, 4); };
  image[0] = 'M';
  image[1] = 'Z';
  put32(0x3C, 0x80);  // e_lfanew
  memcpy(&image[0x80], "PE\0\0", 4);
  put16(0x84, 0x8664);  // Machine: x64
  put16(0x86, 1);       // one section
  put16(0x94, 0xF0);    // size of the PE32+ optional header
  put16(0x96, 0x2022);  // DLL, executable, large address aware
  const size_t opt = 0x98;
  put16(opt, 0x20B);                                    // PE32+
  put32(opt + 16, 0x1000);                              // entry point
  memcpy(&image[opt + 24], "\0\0\0\x80\x01\0\0\0", 8);  // image base 0x180000000
  put32(opt + 32, 0x1000);                              // section alignment
  put32(opt + 36, 0x200);                               // file alignment
  put16(opt + 40, 6);                                   // OS version
  put16(opt + 48, 6);                                   // subsystem version
  put32(opt + 56, 0x2000);                              // size of image
  put32(opt + 60, 0x200);                               // size of headers
  put16(opt + 68, 2);                                   // GUI subsystem
  put32(opt + 108, 16);                                 // number of data directories
  const size_t section = opt + 0xF0;
  memcpy(&image[section], ".text\0\0\0", 8);
  put32(section + 8, 0x1000);
  put32(section + 12, 0x1000);
  put32(section + 16, 0x200);
  put32(section + 20, 0x200);
  put32(section + 36, 0x60000020);
  image[0x200] = '\xC3';
  return image;
}

TEST(plugin_scan_test, broken_libraries_are_survived_and_the_others_kept) {
  PluginFolder folder("scan_broken");
  folder.Add("tp_plugin", "zqgood.dll", "[3:g1,5:g2]");
  folder.Add("tp_plugin", "zqprimav.dll", "", "primary=av");
  folder.Add("tp_plugin", "zqprimraise.dll", "", "primary=raise");
  folder.Add("tp_plugin", "zqprimthrow.dll", "", "primary=throw");
  folder.Add("tp_plugin", "zqprimfalse.dll", "", "primary=false");
  folder.Add("tp_plugin", "zqprimnull.dll", "", "primary=null");
  folder.Add("tp_noprimary", "zqnoprim.dll");
  folder.Add("tp_noready", "zqnoready.dll");
  ASSERT_TRUE(folder.Write("zqjunk.dll", "this is no library at all\r\n"));
  ASSERT_TRUE(folder.Write("zqwide.dll", SixtyFourBitDll()));
  IManager* manager = NewManager(folder);
  const std::string before = CurrentDirectory();
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(CurrentDirectory(), before);

  const std::vector<CatalogueEntry> expected = {
      {"g1", 3, "zqgood.dll", 0},
      {"g2", 5, "zqgood.dll", 1},
  };
  EXPECT_EQ(ReadCatalogue(manager), expected);
  const tbtest::PluginLog& log = folder.log();
  // Libraries whose primary-object call failed or faulted stay loaded, without
  // components; those missing an entry point were freed again without being asked.
  for (const char* name : {"zqprimav.dll", "zqprimraise.dll", "zqprimthrow.dll", "zqprimfalse.dll",
                           "zqprimnull.dll"}) {
    EXPECT_TRUE(folder.IsLoaded(name)) << name;
  }
  EXPECT_EQ(log.Count("zqprimav primary"), 1);
  EXPECT_FALSE(folder.IsLoaded("zqnoprim.dll"));
  EXPECT_FALSE(folder.IsLoaded("zqnoready.dll"));
  EXPECT_EQ(log.Count("zqnoready primary"), 0);
  EXPECT_TRUE(UnloadedEmpty(log, "zqnoprim"));
  EXPECT_TRUE(UnloadedEmpty(log, "zqnoready"));
  EXPECT_FALSE(folder.IsLoaded("zqjunk.dll"));
  EXPECT_FALSE(folder.IsLoaded("zqwide.dll"));

  ASSERT_TRUE(manager->Finish());
  EXPECT_TRUE(FinishedCleanly(log, "zqgood", "g1"));
  EXPECT_TRUE(FinishedCleanly(log, "zqgood", "g2"));
  for (const char* base :
       {"zqgood", "zqprimav", "zqprimraise", "zqprimthrow", "zqprimfalse", "zqprimnull"}) {
    EXPECT_TRUE(UnloadedEmpty(log, base));
    EXPECT_EQ(log.Count(std::string(base) + " ready"), 1) << base;
  }
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(plugin_scan_test, library_not_ready_stops_the_check_and_keeps_everything) {
  PluginFolder folder("scan_not_ready");
  folder.Add("tp_plugin", "zqfirst.dll", "5:conv");
  folder.Add("tp_plugin", "zqbusy.dll", "", "ready=false");
  folder.Add("tp_plugin", "zqlast.dll", "6:dl");
  IManager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  const std::vector<std::string> order = folder.log().Attached();
  ASSERT_EQ(order.size(), 3u);
  const size_t busy = std::find(order.begin(), order.end(), "zqbusy") - order.begin();

  TraceCapture trace;
  EXPECT_FALSE(manager->Finish());
  EXPECT_EQ(InitCount(manager), 1);
  // Asked in load order up to the one that is not ready, and no further.
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(folder.log().Count(order[i] + " ready"), i <= busy ? 1 : 0) << order[i];
  }
  const std::vector<std::string> expectedTrace = {
      "Checking ReadyToFinish of all the plugins\n",
      "Plugin zqbusy is not ready to finish\n",
      "Plugins can not be unloaded\n",
  };
  EXPECT_EQ(TraceCapture::texts(), expectedTrace);
  EXPECT_EQ(ReadCatalogue(manager).size(), 3u);
  EXPECT_EQ(folder.log().Count("zqlast shutdown dl"), 0);
  // The convertor let go during the check is held again.
  tb::IConvertor* held = nullptr;
  EXPECT_TRUE(manager->GetConvertor(&held));
  ASSERT_NE(held, nullptr);
  held->Release();

  // The host retries once the library is ready.
  folder.SetMode("zqbusy", "");
  TraceCapture::texts().clear();
  EXPECT_TRUE(manager->Finish());
  EXPECT_EQ(TraceCapture::texts().back(), "Plugins can be unloaded\n");
  EXPECT_EQ(InitCount(manager), 0);
  for (const std::string& base : order) EXPECT_TRUE(UnloadedEmpty(folder.log(), base));
  EXPECT_TRUE(FinishedCleanly(folder.log(), "zqlast", "dl"));
  EXPECT_TRUE(FinishedCleanly(folder.log(), "zqfirst", "conv"));
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(plugin_scan_test, fault_in_the_readiness_entry_point_counts_as_not_ready) {
  PluginFolder folder("scan_ready_fault");
  folder.Add("tp_plugin", "zqgood.dll");
  folder.Add("tp_plugin", "zqreadyav.dll", "", "ready=av-once");
  folder.Add("tp_plugin", "zqreadyraise.dll");
  IManager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  EXPECT_FALSE(manager->Finish());
  EXPECT_TRUE(folder.IsLoaded("zqreadyav.dll"));
  EXPECT_EQ(InitCount(manager), 1);
  // A foreign exception from the entry point is survived the same way.
  folder.SetMode("zqreadyraise", "ready=raise");
  EXPECT_FALSE(manager->IsReadyToFinish());
  // So is a C++ exception of this compiler's runtime, which ends in its abort().
  folder.SetMode("zqreadyraise", "ready=throw");
  EXPECT_FALSE(manager->IsReadyToFinish());
  EXPECT_FALSE(manager->IsReadyToFinish());
  folder.SetMode("zqreadyraise", "");
  EXPECT_TRUE(manager->Finish());
  for (const char* base : {"zqgood", "zqreadyav", "zqreadyraise"}) {
    EXPECT_TRUE(FinishedCleanly(folder.log(), base, base));
    EXPECT_TRUE(UnloadedEmpty(folder.log(), base));
  }
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(plugin_scan_test, readiness_is_refused_uninitialised_or_while_a_proxy_lives) {
  PluginFolder folder("scan_refused");
  folder.Add("tp_plugin", "zqa.dll");
  IManager* manager = NewManager(folder);
  {
    TraceCapture trace;
    EXPECT_FALSE(manager->IsReadyToFinish());
    const std::vector<std::string> expected = {
        "Plugins are not loaded so they cannot be unloaded\n"};
    EXPECT_EQ(TraceCapture::texts(), expected);
  }
  ASSERT_TRUE(manager->Initialise());
  tb::IncrementLiveProxyCount();
  EXPECT_FALSE(manager->IsReadyToFinish());
  EXPECT_FALSE(manager->Finish());
  tb::DecrementLiveProxyCount();
  EXPECT_EQ(folder.log().Count("zqa ready"), 0);  // nothing asked
  EXPECT_TRUE(manager->Finish());
  EXPECT_TRUE(FinishedCleanly(folder.log(), "zqa", "zqa"));
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(plugin_scan_test, current_directory_is_restored_also_for_a_missing_folder) {
  const std::string before = CurrentDirectory();
  PluginFolder folder("scan_directory");
  IManager* manager = nullptr;
  ASSERT_TRUE(tb::Manager::GetInstance(&manager));
  folder.Configure(manager);
  ASSERT_TRUE(manager->SetPluginFolder((folder.path() + "\\no such folder").c_str()));
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(CurrentDirectory(), before);
  EXPECT_TRUE(manager->Finish());
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(plugin_scan_test, plugin_moving_the_current_directory_changes_no_load_path) {
  const std::string before = CurrentDirectory();
  PluginFolder folder("scan_chdir");
  folder.Add("tp_plugin", "zqmove1.dll", "", "primary=chdir");
  folder.Add("tp_plugin", "zqmove2.dll", "", "primary=chdir");
  folder.Add("tp_plugin", "zqstay.dll");
  IManager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(CurrentDirectory(), before);
  EXPECT_EQ(ReadCatalogue(manager).size(), 3u);
  for (const char* name : {"zqmove1.dll", "zqmove2.dll", "zqstay.dll"}) {
    EXPECT_TRUE(folder.IsLoaded(name)) << name;
  }
  ASSERT_TRUE(manager->Finish());
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(plugin_scan_test, designated_module_comes_from_the_host_folder_when_asked) {
  const std::string hostFolder = tbtest::ExeFolder() + tb::kHostModuleSubfolder;
  const std::string hostCopy = hostFolder + "\\" + tb::kDesignatedModuleName;
  CreateDirectoryA(hostFolder.c_str(), nullptr);
  ASSERT_TRUE(
      CopyFileA((tbtest::TestPluginFolder() + "tp_plugin.dll").c_str(), hostCopy.c_str(), FALSE));
  const std::string base = PluginFolder::BaseOf(tb::kDesignatedModuleName);
  {
    PluginFolder folder("scan_host_folder");
    folder.Add("tp_plugin", tb::kDesignatedModuleName);
    IManager* manager = NewManager(folder);
    tb::IModuleLocation* location = tbtest::Query<tb::IModuleLocation>(manager);
    ASSERT_NE(location, nullptr);
    EXPECT_TRUE(location->UseHostModuleFolder(0));
    location->Release();
    ASSERT_TRUE(manager->Initialise());
    EXPECT_NE(GetModuleHandleA(hostCopy.c_str()), nullptr);
    EXPECT_FALSE(folder.IsLoaded(tb::kDesignatedModuleName));
    // The origin names the file as the folder search found it.
    const std::vector<CatalogueEntry> expected = {
        {base, tb::kKindDecoder, tb::kDesignatedModuleName, 0}};
    EXPECT_EQ(ReadCatalogue(manager), expected);
    ASSERT_TRUE(manager->Finish());
    EXPECT_EQ(GetModuleHandleA(hostCopy.c_str()), nullptr);
    EXPECT_TRUE(FinishedCleanly(folder.log(), base, base));
    EXPECT_TRUE(ReleaseLast(manager));
  }
  {
    // Without the switch the folder's own copy is loaded.
    PluginFolder folder("scan_host_folder_off");
    folder.Add("tp_plugin", tb::kDesignatedModuleName);
    IManager* manager = NewManager(folder);
    ASSERT_TRUE(manager->Initialise());
    EXPECT_TRUE(folder.IsLoaded(tb::kDesignatedModuleName));
    EXPECT_EQ(GetModuleHandleA(hostCopy.c_str()), nullptr);
    ASSERT_TRUE(manager->Finish());
    EXPECT_TRUE(ReleaseLast(manager));
  }
  DeleteFileA(hostCopy.c_str());
  {
    // Switch on but nothing in the host folder: the designated module is not loaded
    // from anywhere else.
    PluginFolder folder("scan_host_folder_missing");
    folder.Add("tp_plugin", tb::kDesignatedModuleName);
    IManager* manager = NewManager(folder);
    tb::IModuleLocation* location = tbtest::Query<tb::IModuleLocation>(manager);
    ASSERT_NE(location, nullptr);
    EXPECT_TRUE(location->UseHostModuleFolder(0));
    location->Release();
    ASSERT_TRUE(manager->Initialise());
    EXPECT_FALSE(folder.IsLoaded(tb::kDesignatedModuleName));
    EXPECT_TRUE(ReadCatalogue(manager).empty());
    ASSERT_TRUE(manager->Finish());
    EXPECT_TRUE(ReleaseLast(manager));
  }
  RemoveDirectoryA(hostFolder.c_str());
}

}  // namespace

namespace {

TEST(plugin_scan_test, records_what_became_of_every_file_it_considered) {
  PluginFolder folder("scan_records");
  folder.Add("tp_plugin", "zqgood.dll", "[3:a,3:b]");
  folder.Add("tp_plugin", "zqhalf.dll", "[3:kept,3:refuses!]");
  folder.Add("tp_plugin", "zqrefuses.dll", "", "primary=false");
  folder.Add("tp_plugin", "zqfaults.dll", "", "primary=av");
  folder.Add("tp_noready", "zqnoready.dll");
  folder.Add("tp_plugin", "unrelated.dll");
  ASSERT_TRUE(folder.Write("zqjunk.dll", std::string(600, 'x')));
  IManager* manager = NewManager(folder);
  ASSERT_TRUE(manager->Initialise());

  const struct {
    const char* file;
    int32_t outcome;
    int32_t components;
    int32_t refused;
    const char* detail;
  } expected[] = {
      {"zqgood.dll", tb::kLoadLoaded, 2, 0, ""},
      {"zqhalf.dll", tb::kLoadSetupRefused, 1, 1, "refuses"},
      {"zqrefuses.dll", tb::kLoadPrimaryFalse, 0, 0, ""},
      {"zqfaults.dll", tb::kLoadFault, 0, 0, "ORVA_PLUGIN_GetPrimaryAudioObject"},
      {"zqnoready.dll", tb::kLoadNoEntryPoint, 0, 0, "ORVA_PLUGIN_ReadyToFinish"},
      {"unrelated.dll", tb::kLoadSkippedName, 0, 0, nullptr},
      {"zqjunk.dll", tb::kLoadFailed, 0, 0, "not an executable image (no MZ header)"},
  };
  const std::vector<tb::LoadRecord>& records = static_cast<tb::Manager*>(manager)->loadRecords();
  EXPECT_EQ(records.size(), std::size(expected));
  for (const auto& e : expected) {
    auto it = std::find_if(records.begin(), records.end(), [&](const tb::LoadRecord& r) {
      return std::string(r.fileName) == e.file;
    });
    ASSERT_NE(it, records.end()) << e.file;
    EXPECT_EQ(it->outcome, e.outcome) << e.file;
    EXPECT_EQ(it->componentCount, e.components) << e.file;
    EXPECT_EQ(it->refusedCount, e.refused) << e.file;
    if (e.detail) {
      EXPECT_STREQ(it->detail, e.detail) << e.file;
    }
    EXPECT_EQ(it->faultCode, e.outcome == tb::kLoadFault ? 0xC0000005u : 0u) << e.file;
    EXPECT_EQ(it->systemError != 0, e.outcome == tb::kLoadFailed) << e.file;
  }
  ASSERT_TRUE(manager->Finish());
  EXPECT_TRUE(ReleaseLast(manager));
}

}  // namespace
