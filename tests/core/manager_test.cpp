// The manager object: singleton, shared identity and count, the service registry,
// listeners and the held convertor.
#include "core/manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

using tb::IManager;
using tbtest::ExpectRefCount;
using tbtest::ReleaseLast;

IManager* NewManager() {
  IManager* manager = nullptr;
  EXPECT_TRUE(tb::Manager::GetInstance(&manager));
  return manager;
}

// A plain counted object for the service registry and the convertor slot.
class CountedThing : public tb::IConvertor {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID, void** out) noexcept override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return ++count; }
  ULONG TB_STDCALL Release() noexcept override { return --count; }
  bool TB_STDCALL CanConvert(const tb::AudioFormat*, const tb::AudioFormat*) noexcept override {
    return false;
  }
  bool TB_STDCALL CreateConversion(const tb::AudioFormat*, const tb::AudioFormat*,
                                   tb::IConversion**, int32_t) noexcept override {
    return false;
  }
  ULONG count = 1;
};

TEST(manager_test, get_instance_hands_out_one_object_and_counts_each_call) {
  IManager* first = NewManager();
  IManager* second = NewManager();
  EXPECT_EQ(first, second);
  EXPECT_TRUE(ExpectRefCount(first, 2));
  EXPECT_EQ(second->Release(), 1u);
  ASSERT_TRUE(first->SetPluginFolder("somewhere"));
  EXPECT_TRUE(ReleaseLast(first));

  // A fresh object after the last release, with its initial values.
  IManager* fresh = NewManager();
  tb::ILanguageSetting* language = nullptr;
  ASSERT_EQ(fresh->QueryInterface(tb::iid_of<tb::ILanguageSetting>(),
                                  reinterpret_cast<void**>(&language)),
            S_OK);
  EXPECT_EQ(language->GetLanguage(), 9);
  EXPECT_EQ(language->Release(), 1u);
  EXPECT_TRUE(ReleaseLast(fresh));
}

TEST(manager_test, null_out_pointer_is_refused) {
  EXPECT_FALSE(tb::Manager::GetInstance(nullptr));
  IManager* manager = NewManager();
  EXPECT_EQ(manager->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(manager_test, every_interface_shares_identity_and_count) {
  IManager* manager = NewManager();
  const GUID* ids[] = {
      &tb::iid_of<tb::IComponentCollection>(), &tb::iid_of<tb::ILanguageSetting>(),
      &tb::iid_of<tb::IRegistryLocation>(),    &tb::iid_of<tb::IHostSettings>(),
      &tb::iid_of<tb::ISettingsDialog>(),      &tb::iid_of<tb::IComponentOrigin>(),
      &tb::iid_of<tb::ISourceOrder>(),         &tb::iid_of<tb::IModuleLocation>(),
      &tb::iid_of<tb::IClientValue>(),
  };
  IUnknown* collection = nullptr;
  ASSERT_EQ(manager->QueryInterface(tb::iid_of<tb::IComponentCollection>(),
                                    reinterpret_cast<void**>(&collection)),
            S_OK);
  std::vector<IUnknown*> faces;
  for (const GUID* id : ids) {
    IUnknown* face = nullptr;
    ASSERT_EQ(manager->QueryInterface(*id, reinterpret_cast<void**>(&face)), S_OK);
    faces.push_back(face);
    // From any interface, the base identifier yields the catalogue interface.
    IUnknown* base = nullptr;
    ASSERT_EQ(face->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&base)), S_OK);
    EXPECT_EQ(base, collection);
    base->Release();
  }
  // 1 (manager) + 1 (collection) + 9 faces.
  EXPECT_TRUE(ExpectRefCount(manager, 11));
  for (IUnknown* face : faces) face->Release();
  collection->Release();
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(manager_test, unknown_identifier_gives_no_interface_and_null) {
  IManager* manager = NewManager();
  void* out = reinterpret_cast<void*>(0x1234);
  // IManager itself is reached only through the export.
  const GUID nothing = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  EXPECT_EQ(manager->QueryInterface(nothing, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(ExpectRefCount(manager, 1));
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(manager_test, reserved_and_plugin_folder) {
  IManager* manager = NewManager();
  EXPECT_FALSE(manager->Reserved(manager));
  EXPECT_TRUE(manager->SetPluginFolder("a"));
  EXPECT_TRUE(manager->SetPluginFolder("b"));
  EXPECT_TRUE(manager->SetPluginFolder(nullptr));
  EXPECT_EQ(static_cast<tb::Manager*>(manager)->pluginFolder(), "");
  EXPECT_TRUE(manager->SetPluginFolder("b"));
  EXPECT_EQ(static_cast<tb::Manager*>(manager)->pluginFolder(), "b");
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(manager_test, service_registry_keeps_order_and_counts) {
  IManager* manager = NewManager();
  const GUID a = {1, 0, 0, {0}}, b = {2, 0, 0, {0}}, c = {3, 0, 0, {0}};
  CountedThing one, two, three;
  EXPECT_TRUE(manager->RegisterService(&a, &one));
  EXPECT_FALSE(manager->RegisterService(&a, &two));  // taken: first stays
  EXPECT_EQ(two.count, 1u);
  EXPECT_TRUE(manager->RegisterService(&b, &two));
  EXPECT_TRUE(manager->RegisterService(&c, nullptr));
  EXPECT_EQ(one.count, 2u);

  IUnknown* found = reinterpret_cast<IUnknown*>(0x1);
  EXPECT_TRUE(manager->LookupService(&c, &found));
  EXPECT_EQ(found, nullptr);
  EXPECT_TRUE(manager->LookupService(&a, nullptr));  // presence only, no reference
  EXPECT_EQ(one.count, 2u);
  EXPECT_TRUE(manager->LookupService(&a, &found));
  EXPECT_EQ(found, &one);
  EXPECT_EQ(one.count, 3u);
  found->Release();

  EXPECT_TRUE(manager->UnregisterService(&b));
  EXPECT_EQ(two.count, 1u);
  EXPECT_FALSE(manager->UnregisterService(&b));
  IUnknown* untouched = reinterpret_cast<IUnknown*>(0x2);
  EXPECT_FALSE(manager->LookupService(&b, &untouched));
  EXPECT_EQ(untouched, reinterpret_cast<IUnknown*>(0x2));
  EXPECT_TRUE(manager->LookupService(&a, nullptr));
  EXPECT_TRUE(manager->LookupService(&c, nullptr));
  EXPECT_FALSE(manager->RegisterService(nullptr, &one));

  // Destroying the manager releases what the registry holds.
  EXPECT_TRUE(ReleaseLast(manager));
  EXPECT_EQ(one.count, 1u);
}

TEST(manager_test, convertor_is_held_with_a_reference) {
  IManager* manager = NewManager();
  tb::IConvertor* got = reinterpret_cast<tb::IConvertor*>(0x1);
  EXPECT_TRUE(manager->GetConvertor(&got));
  EXPECT_EQ(got, nullptr);
  EXPECT_FALSE(manager->GetConvertor(nullptr));

  tb::IError* error = reinterpret_cast<tb::IError*>(0x1);
  EXPECT_FALSE(manager->SetConvertor(nullptr, &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->GetCode(), tb::result::InvalidParameter);
  EXPECT_TRUE(ReleaseLast(error));

  CountedThing first, second;
  EXPECT_TRUE(manager->SetConvertor(&first, &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(manager->SetConvertor(&second, nullptr));
  EXPECT_EQ(first.count, 1u);
  EXPECT_FALSE(manager->SetConvertor(nullptr, nullptr));  // held one unchanged
  EXPECT_TRUE(manager->GetConvertor(&got));
  EXPECT_EQ(got, &second);
  EXPECT_EQ(second.count, 3u);
  got->Release();
  EXPECT_TRUE(ReleaseLast(manager));
  EXPECT_EQ(second.count, 1u);
}

// A listener that records events and can change the listener list from inside one.
class Listener : public tb::IManagerListener {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID, void** out) noexcept override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return 2; }
  ULONG TB_STDCALL Release() noexcept override { return 1; }
  void TB_STDCALL OnManagerEvent(int32_t code, void* parameter) noexcept override {
    ++calls;
    lastCode = code;
    lastParameter = parameter;
    if (toAdd) manager->AddListener(toAdd);
    if (toRemove) manager->RemoveListener(toRemove);
  }
  IManager* manager = nullptr;
  Listener* toAdd = nullptr;
  Listener* toRemove = nullptr;
  std::atomic<int> calls{0};
  int32_t lastCode = 0;
  void* lastParameter = nullptr;
};

TEST(manager_test, listeners_register_once_and_hear_events_in_order) {
  IManager* manager = NewManager();
  EXPECT_TRUE(manager->Notify(7, nullptr));  // no listeners
  Listener a;
  EXPECT_TRUE(manager->AddListener(&a));
  EXPECT_TRUE(manager->AddListener(&a));
  EXPECT_FALSE(manager->AddListener(nullptr));
  int marker = 0;
  EXPECT_TRUE(manager->Notify(12, &marker));
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(a.lastCode, 12);
  EXPECT_EQ(a.lastParameter, &marker);
  EXPECT_TRUE(manager->RemoveListener(&a));
  EXPECT_FALSE(manager->RemoveListener(&a));
  manager->Notify(13, nullptr);
  EXPECT_EQ(a.calls, 1);
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(manager_test, listeners_changing_the_list_during_an_event) {
  IManager* manager = NewManager();
  Listener a, b, c;
  a.manager = b.manager = c.manager = manager;
  // a removes b before b's turn and adds c; b must not be called, c hears the next.
  a.toRemove = &b;
  a.toAdd = &c;
  manager->AddListener(&a);
  manager->AddListener(&b);
  manager->Notify(1, nullptr);
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.calls, 0);
  EXPECT_EQ(c.calls, 0);
  // c removes itself and re-adds a (already there): each called once per event.
  a.toRemove = a.toAdd = nullptr;
  c.toRemove = &c;
  c.toAdd = &a;
  manager->Notify(2, nullptr);
  EXPECT_EQ(a.calls, 2);
  EXPECT_EQ(c.calls, 1);
  manager->Notify(3, nullptr);
  EXPECT_EQ(c.calls, 1);
  EXPECT_EQ(a.calls, 3);
  manager->RemoveListener(&a);
  EXPECT_TRUE(ReleaseLast(manager));
}

TEST(manager_test, concurrent_get_and_release_keep_counts_consistent) {
  IManager* keeper = NewManager();
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        IManager* m = nullptr;
        if (!tb::Manager::GetInstance(&m) || m != keeper) ++mismatches;
        if (m) m->Release();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches, 0);
  EXPECT_TRUE(ReleaseLast(keeper));

  // Without a keeper the object is destroyed and recreated many times over.
  threads.clear();
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        IManager* m = nullptr;
        if (!tb::Manager::GetInstance(&m)) ++mismatches;
        if (m) m->AddRef(), m->Release(), m->Release();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches, 0);
  IManager* last = NewManager();
  EXPECT_TRUE(ReleaseLast(last));
}

TEST(manager_test, notify_from_threads_while_listeners_come_and_go) {
  IManager* manager = NewManager();
  Listener steady;
  manager->AddListener(&steady);
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    std::vector<Listener> pool(8);
    while (!stop) {
      for (auto& l : pool) manager->AddListener(&l);
      for (auto& l : pool) manager->RemoveListener(&l);
    }
  });
  std::vector<std::thread> senders;
  for (int t = 0; t < 3; ++t) {
    senders.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) manager->Notify(500, nullptr);
    });
  }
  for (auto& t : senders) t.join();
  stop = true;
  churn.join();
  EXPECT_EQ(steady.calls, 3000);
  manager->RemoveListener(&steady);
  EXPECT_TRUE(ReleaseLast(manager));
}

}  // namespace

namespace {

// A collection whose only item is itself: the intake must stop rather than recurse
// until the stack runs out, and every reference it handed out must come back.
class SelfContainingCollection : public tb::IComponent, public tb::IComponentCollection {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    const tb::QueryRow rows[] = {
        {&IID_IUnknown, static_cast<tb::IComponent*>(this)},
        {&tb::iid_of<tb::IComponentCollection>(), static_cast<tb::IComponentCollection*>(this)},
    };
    return tb::query_from_table(iid, out, rows);
  }
  ULONG TB_STDCALL AddRef() noexcept override { return ++count; }
  ULONG TB_STDCALL Release() noexcept override { return --count; }
  const char* TB_STDCALL GetName() noexcept override { return "loop"; }
  int32_t TB_STDCALL GetKind() noexcept override { return tb::kKindCollection; }
  bool TB_STDCALL Setup(IManager*, tb::IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}
  int32_t TB_STDCALL GetCount() noexcept override { return 1; }
  bool TB_STDCALL GetItem(int32_t, tb::IComponent** item) noexcept override {
    AddRef();
    *item = this;
    return true;
  }
  ULONG count = 1;
};

TEST(manager_test, collection_containing_itself_is_not_followed_forever) {
  IManager* manager = NewManager();
  SelfContainingCollection loop;
  loop.AddRef();  // the reference the intake takes over
  static_cast<tb::Manager*>(manager)->AddComponent(&loop, "loop.dll", 0);
  EXPECT_EQ(loop.count, 1u);
  EXPECT_EQ(static_cast<tb::Manager*>(manager)->GetCount(), 0);
  EXPECT_TRUE(ReleaseLast(manager));
}

}  // namespace
