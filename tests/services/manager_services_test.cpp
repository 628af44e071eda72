// The manager's secondary interfaces, reached through QueryInterface as hosts reach
// them: catalogue enumeration, language, key names, host values, origins, component
// keys, the decoder order and the module location.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>

#include "core/settings_store.h"
#include "services/fake_component.h"
#include "services/manager_services.h"
#include "support/test_support.h"

namespace {

using tb::IManager;
using tb::Manager;
using tbtest::ExpectRefCount;
using tbtest::FakeComponent;
using tbtest::ReleaseLast;
using tbtest::SmallId;
using Keys = std::vector<std::string>;

Manager* NewManager() {
  IManager* manager = nullptr;
  EXPECT_TRUE(Manager::GetInstance(&manager, &tb::AddServiceParts));
  return static_cast<Manager*>(manager);
}

std::string ComponentKey(Manager* manager, tb::IComponent* component) {
  return tb::ManagerServices::Of(*manager)->ComponentKey(component);
}

// One of the manager's interfaces, borrowed: the manager's own reference keeps it.
template <class I>
I* Face(IManager* manager) {
  I* face = nullptr;
  EXPECT_EQ(manager->QueryInterface(tb::iid_of<I>(), reinterpret_cast<void**>(&face)), S_OK);
  if (face) face->Release();
  return face;
}

// Puts a component into the catalogue as the scan would, with a reference of its own.
void Catalogue(Manager* manager, FakeComponent& component, const char* module, int32_t index) {
  component.AddRef();
  manager->AddComponent(&component, module, index);
}

// The components of a list, in order; the list is released.
std::vector<tb::IComponent*> Drain(tb::IComponentCollection* list) {
  std::vector<tb::IComponent*> items;
  for (int32_t i = 0; i < list->GetCount(); ++i) {
    tb::IComponent* item = nullptr;
    EXPECT_TRUE(list->GetItem(i, &item));
    items.push_back(item);
    if (item) item->Release();
  }
  EXPECT_TRUE(ReleaseLast(list));
  return items;
}

std::vector<tb::IComponent*> Ordered(IManager* manager) {
  tb::IComponentCollection* list = nullptr;
  EXPECT_TRUE(Face<tb::ISourceOrder>(manager)->GetOrderedComponents(tb::kKindDecoder, &list));
  if (!list) return {};
  return Drain(list);
}

bool SetOrder(IManager* manager, std::vector<tb::IComponent*> components) {
  return Face<tb::ISourceOrder>(manager)->SetSourceOrder(components.data(),
                                                         static_cast<int32_t>(components.size()));
}

// Records events and what the manager reports from inside them.
class Listener : public tb::IManagerListener {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID, void** out) noexcept override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG TB_STDCALL AddRef() noexcept override { return 2; }
  ULONG TB_STDCALL Release() noexcept override { return 1; }
  void TB_STDCALL OnManagerEvent(int32_t code, void* parameter) noexcept override {
    codes.push_back(code);
    parameters.push_back(parameter);
    if (readBack) seen.push_back(readBack());
  }
  std::vector<int32_t> codes;
  std::vector<void*> parameters;
  std::function<std::string()> readBack;
  Keys seen;
};

TEST(manager_services_test, catalogue_enumeration_checks_index_and_counts_references) {
  Manager* manager = NewManager();
  tb::IComponentCollection* catalogue = Face<tb::IComponentCollection>(manager);
  tb::IComponent* untouched = reinterpret_cast<tb::IComponent*>(0x3);
  EXPECT_EQ(catalogue->GetCount(), 0);
  EXPECT_FALSE(catalogue->GetItem(0, &untouched));

  FakeComponent decoder, encoder(tb::kKindEncoder);
  Catalogue(manager, decoder, "zqa.dll", 0);
  Catalogue(manager, encoder, "zqa.dll", 1);
  EXPECT_EQ(catalogue->GetCount(), 2);
  EXPECT_FALSE(catalogue->GetItem(-1, &untouched));
  EXPECT_FALSE(catalogue->GetItem(2, &untouched));
  EXPECT_FALSE(catalogue->GetItem(INT32_MAX, &untouched));
  EXPECT_EQ(untouched, reinterpret_cast<tb::IComponent*>(0x3));
  EXPECT_FALSE(catalogue->GetItem(1, nullptr));

  tb::IComponent* item = nullptr;
  ASSERT_TRUE(catalogue->GetItem(1, &item));
  EXPECT_EQ(item, &encoder);
  EXPECT_EQ(encoder.count, 3u);
  item->Release();
  EXPECT_TRUE(ReleaseLast(manager->primary()));
  // An undone initialisation leaves the catalogue's references with the components.
  EXPECT_EQ(decoder.count, 2u);
  EXPECT_EQ(encoder.count, 2u);
}

TEST(manager_services_test, setters_store_before_their_event_and_always_send_it) {
  Manager* manager = NewManager();
  tb::ILanguageSetting* language = Face<tb::ILanguageSetting>(manager);
  tb::IHostSettings* host = Face<tb::IHostSettings>(manager);
  Listener listener;
  manager->AddListener(&listener);

  EXPECT_EQ(language->GetLanguage(), 9);
  listener.readBack = [&] { return std::to_string(language->GetLanguage()); };
  EXPECT_TRUE(language->SetLanguage(0x407));
  EXPECT_TRUE(language->SetLanguage(0x407));  // unchanged, still sent
  EXPECT_EQ(language->GetLanguage(), 0x407);

  listener.readBack = [&] { return std::string(host->GetHostText1()); };
  EXPECT_TRUE(host->SetHostText1("first"));
  listener.readBack = [&] { return std::to_string(host->GetHostNumber()); };
  EXPECT_TRUE(host->SetHostNumber(-5));
  listener.readBack = [&] { return std::string(host->GetHostText2()); };
  EXPECT_TRUE(host->SetHostText2("second"));

  EXPECT_EQ(listener.codes, (std::vector<int32_t>{400, 400, 300, 301, 302}));
  EXPECT_EQ(listener.seen, (Keys{"1031", "1031", "first", "-5", "second"}));
  for (void* parameter : listener.parameters) EXPECT_EQ(parameter, manager->primary());
  EXPECT_STREQ(host->GetHostText1(), "first");
  EXPECT_EQ(host->GetHostNumber(), -5);

  // A host handing back our own text, and null, which stores the empty text.
  EXPECT_TRUE(host->SetHostText2(host->GetHostText2()));
  EXPECT_STREQ(host->GetHostText2(), "second");
  EXPECT_TRUE(host->SetHostText1(nullptr));
  ASSERT_NE(host->GetHostText1(), nullptr);
  EXPECT_STREQ(host->GetHostText1(), "");
  EXPECT_EQ(listener.codes.size(), 7u);

  manager->RemoveListener(&listener);
  EXPECT_TRUE(ReleaseLast(manager->primary()));
}

TEST(manager_services_test, small_values_and_key_names_before_initialisation) {
  Manager* manager = NewManager();
  tb::IRegistryLocation* location = Face<tb::IRegistryLocation>(manager);
  tb::IHostSettings* host = Face<tb::IHostSettings>(manager);
  for (const char* text : {location->GetKeyName1(), location->GetKeyName2(), host->GetHostText1(),
                           host->GetHostText2()}) {
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
  }
  tb::IError* error = reinterpret_cast<tb::IError*>(0x4);
  EXPECT_TRUE(location->SetKeyName1("Maker", &error));
  EXPECT_TRUE(location->SetKeyName2("Suite", nullptr));
  EXPECT_EQ(error, reinterpret_cast<tb::IError*>(0x4));  // success makes no error
  EXPECT_STREQ(location->GetKeyName1(), "Maker");
  EXPECT_STREQ(location->GetKeyName2(), "Suite");
  EXPECT_TRUE(location->SetKeyName2(nullptr, nullptr));
  EXPECT_STREQ(location->GetKeyName2(), "");

  tb::IModuleLocation* module = Face<tb::IModuleLocation>(manager);
  EXPECT_FALSE(module->UseHostModuleFolder(1));
  EXPECT_FALSE(module->UseHostModuleFolder(-1));
  EXPECT_TRUE(module->UseHostModuleFolder(0));
  EXPECT_TRUE(module->UseHostModuleFolder(0));

  tb::IClientValue* client = Face<tb::IClientValue>(manager);
  EXPECT_EQ(client->GetClientValue(), 0);
  Listener listener;
  manager->AddListener(&listener);
  client->SetClientValue(77);
  EXPECT_EQ(client->GetClientValue(), 77);
  EXPECT_TRUE(listener.codes.empty());  // the client value has no event
  manager->RemoveListener(&listener);
  EXPECT_TRUE(ReleaseLast(manager->primary()));
}

TEST(manager_services_test, component_origin_is_the_first_catalogue_match) {
  Manager* manager = NewManager();
  tb::IComponentOrigin* origins = Face<tb::IComponentOrigin>(manager);
  FakeComponent a, b, stranger;
  tb::ComponentOrigin record{"untouched", 99};
  EXPECT_FALSE(origins->GetComponentOrigin(&a, &record));  // empty catalogue
  Catalogue(manager, a, "zqfirst.dll", 0);
  Catalogue(manager, b, "zqsecond.dll", 4);
  Catalogue(manager, a, "zqthird.dll", 7);  // the same object once more

  EXPECT_FALSE(origins->GetComponentOrigin(&stranger, &record));
  EXPECT_FALSE(origins->GetComponentOrigin(nullptr, &record));
  EXPECT_STREQ(record.moduleFileName, "untouched");
  EXPECT_EQ(record.index, 99);
  EXPECT_FALSE(origins->GetComponentOrigin(&a, nullptr));
  ASSERT_TRUE(origins->GetComponentOrigin(&a, &record));
  EXPECT_STREQ(record.moduleFileName, "zqfirst.dll");
  EXPECT_EQ(record.index, 0);
  ASSERT_TRUE(origins->GetComponentOrigin(&b, &record));
  EXPECT_STREQ(record.moduleFileName, "zqsecond.dll");
  EXPECT_EQ(record.index, 4);
  EXPECT_EQ(a.count + b.count, 5u);  // lookups take no references
  EXPECT_TRUE(ReleaseLast(manager->primary()));
}

TEST(manager_services_test, component_key_by_identity_or_by_origin) {
  Manager* manager = NewManager();
  FakeComponent identified, plain, refusing, stranger;
  // {01234567-89AB-CDEF-0123-456789ABCDEF}: the last two groups read little-endian.
  identified.GiveIdentity(
      GUID{0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}});
  refusing.GiveIdentity(SmallId(5), false);
  Catalogue(manager, identified, "zqone.dll", 0);
  Catalogue(manager, plain, "sample.dll", 2);
  Catalogue(manager, refusing, "zqtwo.dll", 1);

  EXPECT_EQ(ComponentKey(manager, &identified), "01234567-89ab-cdef-2301-6745efcdab89");
  EXPECT_EQ(ComponentKey(manager, &plain), "sample.dll*2");
  // An identity that cannot be read counts as none.
  EXPECT_EQ(ComponentKey(manager, &refusing), "zqtwo.dll*1");
  EXPECT_EQ(ComponentKey(manager, &stranger), "*0");
  EXPECT_EQ(ComponentKey(manager, nullptr), "*0");
  // The identity interface is given back after use.
  EXPECT_EQ(identified.count, 2u);
  EXPECT_EQ(refusing.count, 2u);
  EXPECT_TRUE(ReleaseLast(manager->primary()));
}

TEST(manager_services_test, set_source_order_replaces_keys_or_changes_nothing) {
  Manager* manager = NewManager();
  tb::ISourceOrder* order = Face<tb::ISourceOrder>(manager);
  FakeComponent a, b, stranger;
  b.GiveIdentity(SmallId(2));
  Catalogue(manager, a, "zqa.dll", 3);
  Catalogue(manager, b, "zqb.dll", 0);

  ASSERT_TRUE(SetOrder(manager, {&b, &a, &stranger, &a}));
  const Keys stored = {"00000002-0000-0000-0000-000000000000", "zqa.dll*3", "*0", "zqa.dll*3"};
  EXPECT_EQ(manager->sourceOrder(), stored);

  tb::IComponent* withNull[] = {&a, nullptr};
  EXPECT_FALSE(order->SetSourceOrder(withNull, 2));
  EXPECT_FALSE(order->SetSourceOrder(withNull, 0));
  EXPECT_FALSE(order->SetSourceOrder(withNull, -1));
  EXPECT_FALSE(order->SetSourceOrder(nullptr, 1));
  EXPECT_EQ(manager->sourceOrder(), stored);
  EXPECT_EQ(a.count + b.count + stranger.count, 5u);
  EXPECT_TRUE(ReleaseLast(manager->primary()));
}

TEST(manager_services_test, ordered_components_follow_the_stored_order_and_prune_it) {
  Manager* manager = NewManager();
  tb::ISourceOrder* order = Face<tb::ISourceOrder>(manager);
  FakeComponent d1, d2, d3, encoder(tb::kKindEncoder), gone;
  Catalogue(manager, d1, "zq1.dll", 0);
  Catalogue(manager, encoder, "zq1.dll", 1);
  Catalogue(manager, d2, "zq2.dll", 0);
  Catalogue(manager, d3, "zq3.dll", 0);

  // Empty stored order: the decoders in catalogue order, nothing else.
  EXPECT_EQ(Ordered(manager), (std::vector<tb::IComponent*>{&d1, &d2, &d3}));

  // A key twice, a key of a decoder that is gone and a key of a non-decoder: the
  // listed decoders once each, and only the keys that found one stay stored.
  ASSERT_TRUE(SetOrder(manager, {&d3, &gone, &d3, &encoder, &d1}));
  EXPECT_EQ(Ordered(manager), (std::vector<tb::IComponent*>{&d3, &d1, &d2}));
  EXPECT_EQ(manager->sourceOrder(), (Keys{"zq3.dll*0", "zq1.dll*0"}));

  // A list is a snapshot: later changes of the order leave it as it was.
  tb::IComponentCollection* list = nullptr;
  ASSERT_TRUE(order->GetOrderedComponents(tb::kKindDecoder, &list));
  ASSERT_TRUE(SetOrder(manager, {&d2}));
  EXPECT_EQ(Drain(list), (std::vector<tb::IComponent*>{&d3, &d1, &d2}));
  EXPECT_EQ(Ordered(manager), (std::vector<tb::IComponent*>{&d2, &d1, &d3}));

  // Other kinds and a null slot are refused; the slot stays as it was.
  list = reinterpret_cast<tb::IComponentCollection*>(0x5);
  EXPECT_FALSE(order->GetOrderedComponents(tb::kKindEncoder, &list));
  EXPECT_FALSE(order->GetOrderedComponents(2, &list));
  EXPECT_EQ(list, reinterpret_cast<tb::IComponentCollection*>(0x5));
  EXPECT_FALSE(order->GetOrderedComponents(tb::kKindDecoder, nullptr));

  // Lists and candidates gave back every reference they took.
  for (FakeComponent* c : {&d1, &d2, &d3, &encoder}) EXPECT_EQ(c->count, 2u);
  EXPECT_EQ(gone.count, 1u);
  EXPECT_TRUE(ReleaseLast(manager->primary()));
}

TEST(manager_services_test, without_decoders_the_stored_order_is_kept) {
  Manager* manager = NewManager();
  FakeComponent encoder(tb::kKindEncoder), gone;
  ASSERT_TRUE(SetOrder(manager, {&gone}));
  EXPECT_TRUE(Ordered(manager).empty());
  Catalogue(manager, encoder, "zqe.dll", 0);
  EXPECT_TRUE(Ordered(manager).empty());
  EXPECT_EQ(manager->sourceOrder(), (Keys{"*0"}));
  EXPECT_TRUE(ReleaseLast(manager->primary()));
}

// The walk as it has always been described: every stored key scans the decoders from
// the first, working out each one's key as it goes.
std::vector<tb::IComponent*> ReferenceOrder(Manager* manager, Keys& stored) {
  std::vector<tb::IComponent*> candidates, result;
  for (int32_t i = 0; i < manager->GetCount(); ++i) {
    tb::IComponent* item = nullptr;
    manager->GetItem(i, &item);
    if (item->GetKind() == tb::kKindDecoder) candidates.push_back(item);
    item->Release();
  }
  if (candidates.empty()) return result;
  std::vector<bool> taken(candidates.size(), false);
  for (size_t k = 0; k < stored.size();) {
    size_t i = 0;
    while (i < candidates.size() &&
           (taken[i] || ComponentKey(manager, candidates[i]) != stored[k])) {
      ++i;
    }
    if (i == candidates.size()) {
      stored.erase(stored.begin() + static_cast<std::ptrdiff_t>(k));
      continue;
    }
    taken[i] = true;
    result.push_back(candidates[i]);
    ++k;
  }
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (!taken[i]) result.push_back(candidates[i]);
  }
  return result;
}

TEST(manager_services_test, ordered_components_match_the_plain_walk_on_random_catalogues) {
  std::mt19937 random(7);
  // A pool with equal keys on purpose: equal identities, equal origins, components
  // whose identity fails, and non-decoders that share keys with decoders.
  std::vector<FakeComponent> pool(24);
  for (size_t i = 0; i < pool.size(); ++i) {
    pool[i] = FakeComponent(i % 5 == 4 ? tb::kKindEncoder : tb::kKindDecoder);
    if (i % 3 == 0) pool[i].GiveIdentity(SmallId(i % 4), i % 7 != 0);
  }
  const char* modules[] = {"zqa.dll", "zqb.dll", nullptr};
  ULONG totalCatalogued = 0;
  for (int round = 0; round < 300; ++round) {
    Manager* manager = NewManager();
    const int catalogued = static_cast<int>(random() % 12);
    totalCatalogued += catalogued;
    for (int i = 0; i < catalogued; ++i) {
      // The same object may enter twice; it then keys by its first origin.
      Catalogue(manager, pool[random() % pool.size()], modules[random() % 3],
                static_cast<int32_t>(random() % 3));
    }
    std::vector<tb::IComponent*> storedFrom(random() % 10);
    for (tb::IComponent*& c : storedFrom) c = &pool[random() % pool.size()];
    if (!storedFrom.empty()) {
      ASSERT_TRUE(SetOrder(manager, storedFrom));
    }

    Keys expectedStored = manager->sourceOrder();
    const std::vector<tb::IComponent*> expected = ReferenceOrder(manager, expectedStored);
    ASSERT_EQ(Ordered(manager), expected) << "round " << round;
    ASSERT_EQ(manager->sourceOrder(), expectedStored) << "round " << round;
    ASSERT_TRUE(ReleaseLast(manager->primary()));
  }
  // Lists and candidates gave back every reference; only the catalogues' remain.
  ULONG held = 0;
  for (FakeComponent& c : pool) held += c.count - 1;
  EXPECT_EQ(held, totalCatalogued);
}

// A registry location of the test's own under HKCU\Software, removed afterwards.
class TestSettings {
 public:
  TestSettings() : name2_("services-" + std::to_string(GetCurrentProcessId())) { Remove(); }
  ~TestSettings() { Remove(); }
  const char* name1() const { return "TunebayTests"; }
  const char* name2() const { return name2_.c_str(); }
  void Apply(IManager* manager) const {
    tb::IRegistryLocation* location = Face<tb::IRegistryLocation>(manager);
    EXPECT_TRUE(location->SetKeyName1(name1(), nullptr));
    EXPECT_TRUE(location->SetKeyName2(name2(), nullptr));
  }
  std::string StoredOrder() const {
    return tb::ReadTextSetting(name1(), name2(), Manager::kSettingsSection, nullptr,
                               "SourceComponentOrder");
  }

 private:
  void Remove() const {
    const std::string path = std::string("Software\\") + name1() + "\\" + name2_;
    RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    // The parent goes too once no test has anything left in it.
    RegDeleteKeyA(HKEY_CURRENT_USER, (std::string("Software\\") + name1()).c_str());
  }
  std::string name2_;
};

TEST(manager_services_test, key_names_are_fixed_while_initialised) {
  TestSettings settings;
  tbtest::TempFolder noPlugins;
  Manager* manager = NewManager();
  tb::IRegistryLocation* location = Face<tb::IRegistryLocation>(manager);
  settings.Apply(manager);
  ASSERT_TRUE(manager->SetPluginFolder(noPlugins.path().c_str()));
  ASSERT_TRUE(manager->Initialise());

  tb::IError* error = nullptr;
  EXPECT_FALSE(location->SetKeyName1("Other", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->GetCode(), tb::result::WrongCall);
  EXPECT_TRUE(ReleaseLast(error));
  EXPECT_FALSE(location->SetKeyName2("Other", nullptr));
  EXPECT_STREQ(location->GetKeyName1(), settings.name1());
  EXPECT_STREQ(location->GetKeyName2(), settings.name2());

  ASSERT_TRUE(manager->Finish());
  EXPECT_TRUE(location->SetKeyName2("Other", nullptr));  // free again once finished
  EXPECT_TRUE(ReleaseLast(manager->primary()));
}

TEST(manager_services_test, pruned_order_is_stored_by_the_next_finish) {
  TestSettings settings;
  tbtest::TempFolder noPlugins;
  ASSERT_TRUE(tb::WriteTextSetting(settings.name1(), settings.name2(), Manager::kSettingsSection,
                                   nullptr, "SourceComponentOrder",
                                   "gone.dll*0?zqb.dll*0??zqa.dll*1"));
  Manager* manager = NewManager();
  settings.Apply(manager);
  ASSERT_TRUE(manager->SetPluginFolder(noPlugins.path().c_str()));
  ASSERT_TRUE(manager->Initialise());
  EXPECT_EQ(manager->sourceOrder(), (Keys{"gone.dll*0", "zqb.dll*0", "zqa.dll*1"}));

  FakeComponent a, b, c;
  Catalogue(manager, a, "zqa.dll", 1);
  Catalogue(manager, b, "zqb.dll", 0);
  Catalogue(manager, c, "zqc.dll", 0);
  EXPECT_EQ(Ordered(manager), (std::vector<tb::IComponent*>{&b, &a, &c}));
  EXPECT_EQ(settings.StoredOrder(), "gone.dll*0?zqb.dll*0??zqa.dll*1");  // not yet

  ASSERT_TRUE(manager->Finish());
  EXPECT_EQ(settings.StoredOrder(), "zqb.dll*0?zqa.dll*1");
  for (FakeComponent* component : {&a, &b, &c}) {
    EXPECT_EQ(component->shutdowns, 1);
    EXPECT_EQ(component->count, 1u);  // the finish let the catalogue's reference go
  }
  EXPECT_TRUE(ReleaseLast(manager->primary()));
}

}  // namespace
