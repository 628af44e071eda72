// A plug-in written in C against tunebay_c.h (tests/plugins/c_plugin): the manager
// catalogues it, opens a file through it behind a proxy, and unloads it at Finish.
#include <windows.h>

#include <tunebay/tunebay.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

const char kRegistryKey[] = "Software\\TunebayTests\\c_plugin";

TEST(c_plugin_test, manager_opens_a_file_through_the_c_decoder) {
  RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
  tbtest::TempFolder plugins;
  ASSERT_TRUE(plugins.CopyIn(tbtest::TestPluginFolder() + "zqcraw.dll", "zqcraw.dll"));
  std::string samples;
  for (int i = 0; i < 2500; ++i) samples.push_back(static_cast<char>((i * 7) & 0xFF));
  ASSERT_TRUE(plugins.Write("ramp.craw", samples));

  HMODULE library = LoadLibraryA((tbtest::ExeFolder() + "tunebay.dll").c_str());
  ASSERT_NE(library, nullptr);
  auto get = reinterpret_cast<tb::GetTunebayFn>(
      reinterpret_cast<void*>(GetProcAddress(library, TB_EXPORT_GET_TUNEBAY)));
  tb::IManager* manager = nullptr;
  ASSERT_TRUE(get && get(&manager));
  {
    tb::com_ptr<tb::IRegistryLocation> location(
        tb::com_ptr<tb::IManager>(manager).query<tb::IRegistryLocation>());
    ASSERT_TRUE(location);
    location->SetKeyName1("TunebayTests", nullptr);
    location->SetKeyName2("c_plugin", nullptr);
  }
  ASSERT_TRUE(manager->SetPluginFolder(plugins.path().c_str()));
  ASSERT_TRUE(manager->Initialise());
  {
    auto catalogue = tb::com_ptr<tb::IManager>(manager).query<tb::IComponentCollection>();
    ASSERT_EQ(catalogue->GetCount(), 1);
    tb::com_ptr<tb::IComponent> decoder;
    ASSERT_TRUE(catalogue->GetItem(0, decoder.put()));
    EXPECT_STREQ(decoder->GetName(), "Raw audio decoder in C");

    const std::string path = plugins.path() + "\\ramp.craw";
    const tb::AudioFormat wanted = {8000, 8, 1};
    tb::com_ptr<IUnknown> proxy;
    tb::com_ptr<tb::IError> error;
    ASSERT_TRUE(manager->OpenSource(path.c_str(), &wanted, proxy.put(), -1, tb::kOpenWithProxy, 0,
                                    error.put()));
    auto control = proxy.query<tb::ISourceControl>();
    auto data = proxy.query<tb::ISourceData>();
    auto position = proxy.query<tb::ISourcePosition>();
    ASSERT_TRUE(control && data && position);
    EXPECT_EQ(position->GetLength(), samples.size());
    ASSERT_TRUE(control->Start(0));
    std::string delivered;
    char buffer[1000];
    uint32_t length = 0;
    int32_t status = 0;
    while (data->Read(buffer, sizeof buffer, &length, &status, nullptr) && length > 0) {
      delivered.append(buffer, length);
    }
    EXPECT_EQ(delivered, samples);
    EXPECT_TRUE(control->Stop(0));
    // The C source does not forward to the proxy: its interfaces go before the proxy.
    control.reset();
    data.reset();
    position.reset();
    EXPECT_TRUE(tbtest::ReleaseLast(proxy.detach()));
  }
  EXPECT_TRUE(manager->Finish());
  EXPECT_EQ(GetModuleHandleA((plugins.path() + "\\zqcraw.dll").c_str()), nullptr);
  EXPECT_TRUE(tbtest::ReleaseLast(manager));
  FreeLibrary(library);
  RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
}

}  // namespace
