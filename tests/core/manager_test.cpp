// The manager object: singleton, shared identity and count, the service registry,
// listeners and the held convertor.
#include "core/manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "support/test_support.h"
#include "support/test_thread.h"

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

TEST(manager_test, null_out_pointer_is_refused) {
  EXPECT_FALSE(tb::Manager::GetInstance(nullptr));
  IManager* manager = NewManager();
  EXPECT_EQ(manager->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
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
  std::vector<tbtest::Thread> threads;
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
  tbtest::Thread churn([&] {
    std::vector<Listener> pool(8);
    while (!stop) {
      for (auto& l : pool) manager->AddListener(&l);
      for (auto& l : pool) manager->RemoveListener(&l);
    }
  });
  std::vector<tbtest::Thread> senders;
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

namespace {

// A higher layer's part with one face on the manager's identity; it says when it goes.
class ValuePart : public tb::ManagerPart, public tb::outer_counted<tb::IClientValue> {
 public:
  ValuePart(tb::Manager& manager, int32_t value, int* destroyed)
      : outer_counted(manager.primary()), value_(value), destroyed_(destroyed) {}
  ~ValuePart() override { ++*destroyed_; }
  void TB_STDCALL SetClientValue(int32_t value) noexcept override { value_ = value; }
  int32_t TB_STDCALL GetClientValue() noexcept override { return value_; }

 private:
  int32_t value_;
  int* destroyed_;
};

int g_partsDestroyed = 0;

bool AddValuePart(tb::Manager& manager, int32_t value) {
  auto* part = new ValuePart(manager, value, &g_partsDestroyed);
  return manager.AddPart(std::unique_ptr<tb::ManagerPart>(part)) &&
         manager.SetFace(tb::iid_of<tb::IClientValue>(), part);
}

// Two layers answer the same face: the later one's stands.
bool AssembleTwoLayers(tb::Manager& manager) noexcept {
  return AddValuePart(manager, 7) && AddValuePart(manager, 8);
}

bool AssembleAndFail(tb::Manager& manager) noexcept {
  AddValuePart(manager, 7);
  return false;
}

TEST(manager_test, faces_added_from_above_share_the_identity_and_count) {
  g_partsDestroyed = 0;
  IManager* manager = nullptr;
  ASSERT_TRUE(tb::Manager::GetInstance(&manager, &AssembleTwoLayers));
  tb::IClientValue* value = nullptr;
  ASSERT_EQ(
      manager->QueryInterface(tb::iid_of<tb::IClientValue>(), reinterpret_cast<void**>(&value)),
      S_OK);
  EXPECT_EQ(value->GetClientValue(), 8);
  IUnknown* fromPart = nullptr;
  IUnknown* fromManager = nullptr;
  ASSERT_EQ(value->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromPart)), S_OK);
  ASSERT_EQ(manager->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromManager)), S_OK);
  EXPECT_EQ(fromPart, fromManager);
  EXPECT_TRUE(ExpectRefCount(manager, 4));
  fromPart->Release();
  fromManager->Release();
  EXPECT_EQ(value->Release(), 1u);
  EXPECT_EQ(g_partsDestroyed, 0);
  EXPECT_TRUE(ReleaseLast(manager));
  EXPECT_EQ(g_partsDestroyed, 2);
}

TEST(manager_test, failed_assembly_hands_out_nothing_and_keeps_nothing) {
  g_partsDestroyed = 0;
  IManager* manager = reinterpret_cast<IManager*>(0x1);
  EXPECT_FALSE(tb::Manager::GetInstance(&manager, &AssembleAndFail));
  EXPECT_EQ(manager, nullptr);
  EXPECT_EQ(g_partsDestroyed, 1);
}

TEST(manager_test, without_the_sources_layer_open_source_and_create_sink_fail) {
  IManager* manager = NewManager();
  IUnknown* source = nullptr;
  tb::IError* error = nullptr;
  EXPECT_FALSE(manager->OpenSource("C:\\a.wav", nullptr, &source, -1, 0, 0, &error));
  EXPECT_EQ(source, nullptr);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->GetCode(), tb::result::CallNotImplemented);
  EXPECT_TRUE(ReleaseLast(error));
  const tb::AudioFormat format = {44100, 16, 2};
  IUnknown* sink = nullptr;
  EXPECT_FALSE(manager->CreateSink(nullptr, &sink, &format, 0));
  EXPECT_TRUE(ReleaseLast(manager));
}

}  // namespace
