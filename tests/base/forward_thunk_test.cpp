#include "base/forward_thunk.h"

#include <windows.h>

#include <unknwn.h>

#include <gtest/gtest.h>

#include <string.h>

#include "base/entry_call.h"
#include "support/test_support.h"

// The interface and its fake are outside the anonymous namespace on purpose: there,
// the compiler would know every class that implements ITarget and turn calls through
// a face into direct calls to FakeTarget, skipping the table the test is about.
namespace forward_thunk_fakes {

// Operations of different shapes in the slots that faces forward.
struct ITarget : IUnknown {
  virtual uint32_t __stdcall NoArguments() = 0;                                       // 3
  virtual uint32_t __stdcall OneArgument(uint32_t a) = 0;                             // 4
  virtual uint64_t __stdcall ThreeArguments(uint32_t a, uint64_t b, uint32_t c) = 0;  // 5
  virtual uint64_t __stdcall Wide() = 0;                                              // 6
  virtual const char* __stdcall Text() = 0;                                           // 7
};

class FakeTarget : public ITarget {
 public:
  HRESULT __stdcall QueryInterface(REFIID, void** out) noexcept override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG __stdcall AddRef() noexcept override { return ++refs; }
  ULONG __stdcall Release() noexcept override { return --refs; }
  uint32_t __stdcall NoArguments() noexcept override {
    seen_this = this;
    return 0xA1B2C3D4;
  }
  uint32_t __stdcall OneArgument(uint32_t a) noexcept override {
    seen_this = this;
    seen_a = a;
    return a ^ 0x55555555;
  }
  uint64_t __stdcall ThreeArguments(uint32_t a, uint64_t b, uint32_t c) noexcept override {
    seen_this = this;
    seen_a = a;
    seen_b = b;
    seen_c = c;
    return b + a + c;
  }
  uint64_t __stdcall Wide() noexcept override {
    seen_this = this;
    return 0x1122334455667788ull;
  }
  const char* __stdcall Text() noexcept override {
    seen_this = this;
    return "forwarded";
  }

  ULONG refs = 1;
  void* seen_this = nullptr;
  uint32_t seen_a = 0;
  uint64_t seen_b = 0;
  uint32_t seen_c = 0;
};

}  // namespace forward_thunk_fakes

namespace {

using forward_thunk_fakes::FakeTarget;
using forward_thunk_fakes::ITarget;

struct Owner;
struct TestFace;
struct TestTable {
  HRESULT(__stdcall* QueryInterface)(TestFace*, REFIID, void**);
  ULONG(__stdcall* AddRef)(TestFace*);
  ULONG(__stdcall* Release)(TestFace*);
  tb::ForwardThunk slots[5];
};
TB_CHECK_TABLE_SLOT(TestTable, slots, 3);

struct TestFace : tb::ForwardFace<TestTable, Owner> {};

struct Owner {
  TestFace face;
  int addrefs = 0;
};

HRESULT __stdcall FaceQueryInterface(TestFace*, REFIID, void** out) noexcept {
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG __stdcall FaceAddRef(TestFace* self) noexcept { return ++self->owner->addrefs; }
ULONG __stdcall FaceRelease(TestFace* self) noexcept { return --self->owner->addrefs; }

const TestTable kTable = {&FaceQueryInterface,
                          &FaceAddRef,
                          &FaceRelease,
                          {tb::kForwardSlot3, tb::kForwardSlot4, tb::kForwardSlot5,
                           tb::kForwardSlot6, tb::kForwardSlot7}};

class forward_thunk_test : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_.face.vtable = &kTable;
    owner_.face.forward_target = static_cast<ITarget*>(&target_);
    owner_.face.owner = &owner_;
  }
  void TearDown() override {
    EXPECT_EQ(target_.Release(), 0u) << "the thunks must not touch the target's count";
  }
  uint32_t FaceWord() { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&owner_.face)); }
  const void* Slot(int slot) { return reinterpret_cast<const void*>(kTable.slots[slot - 3]); }

  FakeTarget target_;
  Owner owner_;
};

TEST_F(forward_thunk_test, arguments_and_results_pass_through_with_stack_balanced) {
  int32_t popped = -1;
  uint32_t face_only[] = {FaceWord()};
  EXPECT_EQ(static_cast<uint32_t>(tb::CallRestoringStack(Slot(3), face_only, 1, &popped)),
            0xA1B2C3D4u);
  EXPECT_EQ(popped, 4);
  EXPECT_EQ(target_.seen_this, static_cast<ITarget*>(&target_));

  uint32_t one[] = {FaceWord(), 0x12345678};
  EXPECT_EQ(static_cast<uint32_t>(tb::CallRestoringStack(Slot(4), one, 2, &popped)),
            0x12345678u ^ 0x55555555u);
  EXPECT_EQ(popped, 8);
  EXPECT_EQ(target_.seen_a, 0x12345678u);

  // A 64-bit argument takes two words, low half first.
  uint32_t three[] = {FaceWord(), 7, 0x00000001, 0x80000000, 9};
  EXPECT_EQ(tb::CallRestoringStack(Slot(5), three, 5, &popped), 0x8000000000000011ull);
  EXPECT_EQ(popped, 20);
  EXPECT_EQ(target_.seen_a, 7u);
  EXPECT_EQ(target_.seen_b, 0x8000000000000001ull);
  EXPECT_EQ(target_.seen_c, 9u);

  EXPECT_EQ(tb::CallRestoringStack(Slot(6), face_only, 1, &popped), 0x1122334455667788ull);
  EXPECT_EQ(popped, 4);
}

TEST_F(forward_thunk_test, compiled_callers_reach_the_target_through_the_face) {
  // Called the way a host calls: through the interface pointer, by compiled code.
  ITarget* face = owner_.face.as<ITarget>();
  EXPECT_EQ(face->NoArguments(), 0xA1B2C3D4u);
  EXPECT_EQ(face->OneArgument(3), 3u ^ 0x55555555u);
  EXPECT_EQ(face->ThreeArguments(1, 0xFFFFFFFF00000000ull, 2), 0xFFFFFFFF00000003ull);
  EXPECT_EQ(target_.seen_b, 0xFFFFFFFF00000000ull);
  EXPECT_EQ(face->Wide(), 0x1122334455667788ull);
  EXPECT_STREQ(face->Text(), "forwarded");
  EXPECT_EQ(target_.seen_this, static_cast<ITarget*>(&target_));
  // The face's own operations receive the face.
  EXPECT_EQ(face->AddRef(), 1u);
  EXPECT_EQ(face->Release(), 0u);
  EXPECT_EQ(owner_.addrefs, 0);
}

TEST_F(forward_thunk_test, missing_target_returns_zero_and_pops_this) {
  owner_.face.forward_target = nullptr;
  int32_t popped = -1;
  uint32_t face_only[] = {FaceWord()};
  for (int slot = 3; slot <= 7; ++slot) {
    EXPECT_EQ(tb::CallRestoringStack(Slot(slot), face_only, 1, &popped), 0u) << slot;
    EXPECT_EQ(popped, 4) << slot;
  }
  EXPECT_EQ(owner_.face.as<ITarget>()->Text(), nullptr);
  EXPECT_EQ(target_.seen_this, nullptr);
}

}  // namespace
