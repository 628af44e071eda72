// The fixture shared by the proxy and resolution tests: a fresh manager per test, and
// at the end the checks that every fake was released exactly and every proxy ended.
#ifndef TB_TESTS_SOURCES_PROXY_FIXTURE_H
#define TB_TESTS_SOURCES_PROXY_FIXTURE_H

#include <gtest/gtest.h>

#include <vector>

#include "core/globals.h"
#include "core/manager.h"
#include "services/manager_services.h"
#include "sources/manager_sources.h"
#include "sources/source_fakes.h"
#include "support/test_support.h"

namespace source_fakes {

/// The manager with every layer up to this one.
inline bool AssembleThroughSources(tb::Manager& manager) noexcept {
  return tb::AddServiceParts(manager) && tb::AddSourceParts(manager);
}

class ManagerFixture : public ::testing::Test {
 protected:
  // An initialised manager over an empty plug-in folder: the test fills the catalogue
  // itself, and the Finish at the end takes the components out again as it does a
  // plug-in's.
  void SetUp() override {
    living_ = Living();
    liveProxies_ = tb::LiveProxyCount();
    RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
    ASSERT_TRUE(tb::Manager::GetInstance(&manager, &AssembleThroughSources));
    ASSERT_TRUE(manager->SetPluginFolder(plugins_.path().c_str()));
    ASSERT_TRUE(impl().SetKeyName1("TunebayTests", nullptr));
    ASSERT_TRUE(impl().SetKeyName2("sources_fixture", nullptr));
    ASSERT_TRUE(manager->Initialise());
  }

  void TearDown() override {
    // Refused while a proxy lives: then the components stay and the checks below fail.
    EXPECT_TRUE(manager->Finish());
    EXPECT_TRUE(tbtest::ReleaseLast(manager));
    for (tb::IComponent* component : catalogue_) EXPECT_TRUE(tbtest::ReleaseLast(component));
    EXPECT_EQ(Living(), living_) << "fake objects leaked";
    EXPECT_EQ(tb::LiveProxyCount(), liveProxies_) << "proxies still alive";
    RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
  }

  tb::Manager& impl() { return *static_cast<tb::Manager*>(manager); }

  /// Adds a component to the catalogue; the test keeps its own reference until the end.
  template <class C>
  C* Add(C* component, const char* module = "fake.dll") {
    component->AddRef();
    impl().AddComponent(component, module, static_cast<int32_t>(catalogue_.size()));
    catalogue_.push_back(component);
    return component;
  }

  /// Hands the manager a convertor of its own.
  void UseConvertor(const ConvertorConfig& config, ConversionLog* log) {
    FakeConvertor* convertor = new FakeConvertor(config, log);
    ASSERT_TRUE(manager->SetConvertor(convertor, nullptr));
    EXPECT_EQ(convertor->Release(), 1u);
  }

  template <class I>
  static I* Query(IUnknown* object) {
    I* face = nullptr;
    if (FAILED(object->QueryInterface(tb::iid_of<I>(), reinterpret_cast<void**>(&face)))) {
      return nullptr;
    }
    return face;
  }

  static IUnknown* QueryBase(IUnknown* object) {
    IUnknown* face = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&face)))) {
      return nullptr;
    }
    return face;
  }

  tb::IManager* manager = nullptr;

 private:
  static constexpr const char* kRegistryKey = "Software\\TunebayTests\\sources_fixture";
  tbtest::TempFolder plugins_;
  LONG living_ = 0;
  LONG liveProxies_ = 0;
  std::vector<tb::IComponent*> catalogue_;
};

}  // namespace source_fakes

#endif  // TB_TESTS_SOURCES_PROXY_FIXTURE_H
