// The ordered component list: its table, its bounds and its references.
#include "services/ordered_component_list.h"

#include <gtest/gtest.h>

#include "services/fake_component.h"
#include "support/test_support.h"

namespace {

using tb::OrderedComponentList;
using tbtest::ExpectRefCount;
using tbtest::FakeComponent;
using tbtest::ReleaseLast;

TEST(ordered_component_list_test, answers_its_collection_and_the_base_identifier_only) {
  OrderedComponentList* list = OrderedComponentList::Create();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(ExpectRefCount(list, 1));
  void* face = nullptr;
  ASSERT_EQ(list->QueryInterface(IID_IUnknown, &face), S_OK);
  EXPECT_EQ(face, static_cast<tb::IComponentCollection*>(list));
  ASSERT_EQ(list->QueryInterface(tb::iid_of<tb::IComponentCollection>(), &face), S_OK);
  EXPECT_TRUE(ExpectRefCount(list, 3));
  list->Release();
  list->Release();

  face = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(list->QueryInterface(tb::iid_of<tb::ISourceOrder>(), &face), E_NOINTERFACE);
  EXPECT_EQ(face, nullptr);
  EXPECT_EQ(list->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  EXPECT_TRUE(ReleaseLast(list));
}

TEST(ordered_component_list_test, get_item_refuses_bad_index_and_null_slot) {
  OrderedComponentList* list = OrderedComponentList::Create();
  tb::IComponent* untouched = reinterpret_cast<tb::IComponent*>(0x2);
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_FALSE(list->GetItem(0, &untouched));

  FakeComponent a, b;
  ASSERT_TRUE(list->Append(&a));
  ASSERT_TRUE(list->Append(nullptr));  // ignored
  ASSERT_TRUE(list->Append(&b));
  EXPECT_EQ(list->GetCount(), 2);
  EXPECT_FALSE(list->GetItem(-1, &untouched));
  EXPECT_FALSE(list->GetItem(2, &untouched));
  EXPECT_FALSE(list->GetItem(INT32_MIN, &untouched));
  EXPECT_EQ(untouched, reinterpret_cast<tb::IComponent*>(0x2));
  EXPECT_FALSE(list->GetItem(0, nullptr));
  EXPECT_EQ(a.count, 2u);

  tb::IComponent* item = nullptr;
  ASSERT_TRUE(list->GetItem(1, &item));
  EXPECT_EQ(item, &b);
  EXPECT_EQ(b.count, 3u);
  item->Release();
  EXPECT_TRUE(ReleaseLast(list));
  EXPECT_EQ(a.count, 1u);
  EXPECT_EQ(b.count, 1u);
}

TEST(ordered_component_list_test, last_release_lets_each_item_go_once_in_list_order) {
  OrderedComponentList* list = OrderedComponentList::Create();
  FakeComponent a, b, c;
  std::vector<FakeComponent*> log;
  a.releaseLog = b.releaseLog = c.releaseLog = &log;
  list->Append(&c);
  list->Append(&a);
  list->Append(&b);
  list->AddRef();
  EXPECT_EQ(list->Release(), 1u);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(ReleaseLast(list));
  EXPECT_EQ(log, (std::vector<FakeComponent*>{&c, &a, &b}));
  EXPECT_EQ(a.count + b.count + c.count, 3u);
}

}  // namespace
