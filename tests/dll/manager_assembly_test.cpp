// The manager as tunebay.dll assembles it: one object, one count and one identity
// across the faces of every layer.
#include "dll/assembly.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_support.h"

namespace {

using tb::IManager;
using tbtest::ExpectRefCount;
using tbtest::ReleaseLast;

IManager* NewManager() {
  IManager* manager = nullptr;
  EXPECT_TRUE(tb::GetAssembledManager(&manager));
  return manager;
}

TEST(manager_assembly_test, get_instance_hands_out_one_object_and_counts_each_call) {
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

TEST(manager_assembly_test, every_interface_shares_identity_and_count) {
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

}  // namespace
