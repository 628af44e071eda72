#include "base/entry_call.h"

#include <windows.h>

#include <unknwn.h>

#include <gtest/gtest.h>

#include <string>

#include "base/handles.h"
#include "support/test_support.h"

// Defined in fault_guard_test.cpp: calls fn with EBX, ESI, EDI and EBP set to markers
// and returns a bit for each that did not survive.
extern "C" uint32_t tb_test_call_marked(const void* fn, uint32_t a, uint32_t b, uint32_t c,
                                        uint32_t d, uint32_t* eax);
extern "C" uint64_t tb_call_restoring_stack(const void* fn, const uint32_t* args, int argc,
                                            int32_t* popped_bytes);

namespace {

using tb::CallRestoringStack;
using tb::GuardedBoolCall0;
using tb::GuardedBoolCall1;

class entry_call_test : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.reset(LoadLibraryA((tbtest::TestPluginFolder() + "faulty.dll").c_str()));
    ASSERT_TRUE(module_) << "faulty.dll did not load";
  }
  const void* Find(const char* name) {
    auto fn = reinterpret_cast<const void*>(GetProcAddress(module_.get(), name));
    EXPECT_NE(fn, nullptr) << name;
    return fn;
  }
  static uint32_t Word(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
  }

  tb::unique_hmodule module_;
};

TEST_F(entry_call_test, stack_is_restored_for_either_convention) {
  void* slot = nullptr;
  uint32_t one[] = {Word(&slot)};
  int32_t popped = -1;
  EXPECT_EQ(static_cast<uint8_t>(CallRestoringStack(Find("StdcallOne"), one, 1, &popped)), 1);
  EXPECT_EQ(popped, 4);
  EXPECT_EQ(slot, &slot);

  slot = nullptr;
  EXPECT_EQ(static_cast<uint8_t>(CallRestoringStack(Find("CdeclOne"), one, 1, &popped)), 1);
  EXPECT_EQ(popped, 0);
  EXPECT_EQ(slot, &slot);

  // Argument order: args[0] is the first parameter.
  uint32_t two[] = {4, 2};
  EXPECT_EQ(static_cast<uint32_t>(CallRestoringStack(Find("StdcallTwo"), two, 2, &popped)), 42u);
  EXPECT_EQ(popped, 8);

  // The caller's frame is intact afterwards: ESP, and the registers of a callee that
  // does not keep them.
  uint32_t eax = 0;
  auto call = reinterpret_cast<const void*>(&tb_call_restoring_stack);
  EXPECT_EQ(tb_test_call_marked(call, Word(Find("StdcallTwo")), Word(two), 2, 0, &eax), 0u);
  EXPECT_EQ(eax, 42u);
  EXPECT_EQ(tb_test_call_marked(call, Word(Find("ClobberAndReturnTrue")), 0, 0, 0, &eax), 0u);
  EXPECT_EQ(eax, 1u);
}

TEST_F(entry_call_test, bad_arguments_make_no_call) {
  uint32_t args[] = {1, 2};
  int32_t popped = -1;
  EXPECT_EQ(CallRestoringStack(nullptr, args, 2, &popped), 0u);
  EXPECT_EQ(popped, 0);
  EXPECT_EQ(CallRestoringStack(Find("StdcallTwo"), nullptr, 2), 0u);
  EXPECT_EQ(CallRestoringStack(Find("StdcallTwo"), args, -1), 0u);
  EXPECT_EQ(CallRestoringStack(Find("StdcallTwo"), args, tb::kMaxEntryArguments + 1), 0u);
}

TEST_F(entry_call_test, guarded_bool_calls_report_result_and_faults) {
  bool result = false;
  EXPECT_TRUE(GuardedBoolCall0(Find("StdcallZero"), &result));
  EXPECT_TRUE(result);

  void* slot = nullptr;
  result = false;
  EXPECT_TRUE(GuardedBoolCall1(Find("StdcallOne"), &slot, &result));
  EXPECT_TRUE(result);
  EXPECT_EQ(slot, &slot);
  slot = nullptr;
  result = false;
  EXPECT_TRUE(GuardedBoolCall1(Find("CdeclOne"), &slot, &result));
  EXPECT_TRUE(result);
  EXPECT_EQ(slot, &slot);

  // A fault leaves the result alone and does not unbalance the stack (the stdcall
  // callee never got to pop its argument).
  result = true;
  EXPECT_FALSE(GuardedBoolCall1(Find("StdcallOneFaults"), &slot, &result));
  EXPECT_TRUE(result);
  EXPECT_FALSE(GuardedBoolCall0(Find("FaultMsvcThrow"), &result));
  EXPECT_FALSE(GuardedBoolCall0(nullptr, &result));
}

TEST_F(entry_call_test, only_al_counts_as_the_bool) {
  bool result = true;
  EXPECT_TRUE(GuardedBoolCall0(Find("ReturnHighBitsFalse"), &result));
  EXPECT_FALSE(result);
  EXPECT_TRUE(GuardedBoolCall0(Find("ReturnHighBitsTrue"), &result));
  EXPECT_TRUE(result);
}

TEST_F(entry_call_test, guarded_calls_leave_the_callers_frame_intact) {
  // Through the public function, as the plug-in module calls it: ESP and registers
  // must be as before whether the callee popped, did not pop, or faulted.
  auto call1 = reinterpret_cast<const void*>(&GuardedBoolCall1);
  void* slot = nullptr;
  bool result = false;
  uint32_t eax = 0;
  for (const char* name : {"StdcallOne", "CdeclOne", "StdcallOneFaults"}) {
    const void* fn = Find(name);
    for (int i = 0; i < 200; ++i) {
      ASSERT_EQ(tb_test_call_marked(call1, Word(fn), Word(&slot), Word(&result), 0, &eax), 0u)
          << name << " call " << i;
    }
    EXPECT_EQ(eax & 0xFF, std::string(name) == "StdcallOneFaults" ? 0u : 1u) << name;
  }
}

}  // namespace
