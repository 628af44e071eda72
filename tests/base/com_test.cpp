// The object helpers: implements<> answers from its face list on one count, and
// outer_counted<> hands QueryInterface, AddRef and Release to its outer object.
#include "base/com.h"

#include <gtest/gtest.h>

#include <tunebay/component.h>
#include <tunebay/error.h>

#include "support/test_support.h"

namespace {

using tbtest::ExpectRefCount;
using tbtest::ReleaseLast;

int g_destroyed = 0;

// IComponent has no identifier of its own: reached only as the base identifier.
class Thing final : public tb::implements<Thing, tb::IComponent, tb::IError, tb::IErrorVerdict> {
 public:
  ~Thing() { ++g_destroyed; }
  const char* TB_STDCALL GetName() noexcept override { return "thing"; }
  int32_t TB_STDCALL GetKind() noexcept override { return tb::kKindDecoder; }
  bool TB_STDCALL Setup(tb::IManager*, tb::IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}
  const char* TB_STDCALL GetMessage() noexcept override { return ""; }
  uint32_t TB_STDCALL GetCode() noexcept override { return 0; }
  uint32_t TB_STDCALL GetSystemError() noexcept override { return 0; }
  int32_t TB_STDCALL GetVerdict() noexcept override { return 7; }
};

TEST(com_test, implements_answers_its_faces_on_one_count) {
  g_destroyed = 0;
  Thing* thing = new Thing();
  void* out = nullptr;
  ASSERT_EQ(thing->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<tb::IComponent*>(thing));
  ASSERT_EQ(thing->QueryInterface(tb::iid_of<tb::IErrorVerdict>(), &out), S_OK);
  EXPECT_EQ(out, static_cast<tb::IErrorVerdict*>(thing));
  EXPECT_EQ(static_cast<tb::IErrorVerdict*>(out)->GetVerdict(), 7);
  ASSERT_EQ(thing->QueryInterface(tb::iid_of<tb::IError>(), &out), S_OK);
  EXPECT_EQ(out, static_cast<tb::IError*>(thing));
  EXPECT_TRUE(ExpectRefCount(static_cast<tb::IError*>(thing), 4));

  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(thing->QueryInterface(tb::iid_of<tb::IExtensionList>(), &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(thing->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);

  // Released through different faces: one count all the same.
  EXPECT_EQ(static_cast<tb::IError*>(thing)->Release(), 3u);
  EXPECT_EQ(static_cast<tb::IErrorVerdict*>(thing)->Release(), 2u);
  EXPECT_EQ(static_cast<tb::IComponent*>(thing)->Release(), 1u);
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_TRUE(ReleaseLast(static_cast<tb::IComponent*>(thing)));
  EXPECT_EQ(g_destroyed, 1);
}

// A part of a Thing: its face lives on the thing's count and identity.
class Part final : public tb::outer_counted<tb::IExtensionList> {
 public:
  explicit Part(IUnknown* outer) : outer_counted(outer) {}
  int32_t TB_STDCALL GetCount() noexcept override { return 0; }
  const char* TB_STDCALL GetExtension(int32_t) noexcept override { return nullptr; }
};

TEST(com_test, outer_counted_faces_use_the_outer_count_and_identity) {
  g_destroyed = 0;
  Thing* thing = new Thing();
  IUnknown* outer = static_cast<tb::IComponent*>(thing);
  {
    Part part(outer);
    EXPECT_EQ(part.AddRef(), 2u);
    void* base = nullptr;
    ASSERT_EQ(part.QueryInterface(IID_IUnknown, &base), S_OK);
    EXPECT_EQ(base, outer);
    EXPECT_TRUE(ExpectRefCount(outer, 3));
    EXPECT_EQ(static_cast<IUnknown*>(base)->Release(), 2u);
    EXPECT_EQ(part.Release(), 1u);
  }
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_TRUE(ReleaseLast(outer));
  EXPECT_EQ(g_destroyed, 1);
}

}  // namespace
