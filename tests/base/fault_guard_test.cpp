#include "base/fault_guard.h"

#include <windows.h>

#include <unknwn.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "base/handles.h"
#include "support/test_support.h"
#include "support/test_thread.h"

// The guard's own routine, called directly where a C++ wrapper in between could hide a
// register it failed to restore.
extern "C" int tb_guarded_call(tb::GuardedFunction fn, void* context, unsigned long* code);

// Calls fn(a, b, c, d) as __cdecl with EBX, ESI, EDI and EBP set to marker values and
// returns a bit for each that did not survive (1 EBX, 2 ESI, 4 EDI, 8 EBP), plus 16 when
// ESP after the call is not where a __cdecl callee leaves it; *eax gets the callee's
// EAX. Keeps its state in statics, so one thread at a time. Shared with
// entry_call_test.cpp.
extern "C" uint32_t tb_test_call_marked(const void* fn, uint32_t a, uint32_t b, uint32_t c,
                                        uint32_t d, uint32_t* eax);
asm(R"(
    .data
L_marked_esp: .long 0
L_marked_fn: .long 0
L_marked_eax: .long 0
    .text
    .globl _tb_test_call_marked
_tb_test_call_marked:
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl %esp, L_marked_esp
    movl 20(%esp), %eax
    movl %eax, L_marked_fn
    movl 36(%esp), %eax
    movl 32(%esp), %ecx
    movl 28(%esp), %edx
    movl 24(%esp), %ebx
    pushl %eax
    pushl %ecx
    pushl %edx
    pushl %ebx
    movl $0x5EED0001, %ebx
    movl $0x5EED0002, %esi
    movl $0x5EED0003, %edi
    movl $0x5EED0004, %ebp
    call *L_marked_fn
    movl %eax, L_marked_eax
    xorl %ecx, %ecx
    leal 16(%esp), %eax
    cmpl L_marked_esp, %eax
    je 0f
    orl $16, %ecx
0:  cmpl $0x5EED0001, %ebx
    je 1f
    orl $1, %ecx
1:  cmpl $0x5EED0002, %esi
    je 2f
    orl $2, %ecx
2:  cmpl $0x5EED0003, %edi
    je 3f
    orl $4, %ecx
3:  cmpl $0x5EED0004, %ebp
    je 4f
    orl $8, %ecx
4:  movl L_marked_esp, %esp
    movl 40(%esp), %edx
    testl %edx, %edx
    jz 5f
    movl L_marked_eax, %eax
    movl %eax, (%edx)
5:  movl %ecx, %eax
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

namespace {

using tb::Guarded;
using tb::GuardedCall;

void* ChainHead() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head) : : "memory");
  return head;
}

volatile uintptr_t g_bad_address = 0x10;

void WriteToBadAddress(void*) { *reinterpret_cast<volatile int*>(g_bad_address) = 1; }

void RaiseCustom(void*) { RaiseException(0xE0ABCDEF, EXCEPTION_NONCONTINUABLE, 0, nullptr); }

// The faulting functions of faulty.dll, loaded once for the whole suite.
class FaultyDll {
 public:
  static FaultyDll& Get() {
    static FaultyDll dll;
    return dll;
  }
  template <class F>
  F Find(const char* name) const {
    if (!module_) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_.get(), name)));
  }

 private:
  FaultyDll() : module_(LoadLibraryA((tbtest::TestPluginFolder() + "faulty.dll").c_str())) {}
  tb::unique_hmodule module_;
};

using VoidFn = void(__cdecl*)(void*);

VoidFn Faulty(const char* name) { return FaultyDll::Get().Find<VoidFn>(name); }

TEST(fault_guard_test, normal_return_gives_true_and_runs_the_call) {
  int runs = 0;
  EXPECT_TRUE(GuardedCall([](void* c) { ++*static_cast<int*>(c); }, &runs));
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(Guarded([&] { runs += 10; }));
  EXPECT_EQ(runs, 11);
}

TEST(fault_guard_test, faults_of_every_kind_give_false) {
  ASSERT_NE(Faulty("FaultAccessViolation"), nullptr) << "faulty.dll did not load";
  EXPECT_FALSE(GuardedCall(WriteToBadAddress, nullptr));
  EXPECT_FALSE(GuardedCall(RaiseCustom, nullptr));
  EXPECT_FALSE(Guarded([] { RaiseException(0xE0000001, 0, 0, nullptr); }));  // continuable
  EXPECT_FALSE(Guarded([] { RaiseException(EXCEPTION_BREAKPOINT, 0, 0, nullptr); }));
  EXPECT_FALSE(GuardedCall(Faulty("FaultAccessViolation"), nullptr));
  EXPECT_FALSE(GuardedCall(Faulty("FaultMsvcThrow"), nullptr));
  auto raise = FaultyDll::Get().Find<void(__cdecl*)(DWORD, DWORD)>("FaultRaise");
  EXPECT_FALSE(Guarded([&] { raise(0xC0DE0001, 0); }));
  EXPECT_FALSE(Guarded([&] { raise(0x12345678, EXCEPTION_NONCONTINUABLE); }));
  // A C++ exception thrown by our own code in the guarded call is a failure too.
  EXPECT_FALSE(Guarded([] { throw std::runtime_error("plug-in call failed"); }));
  // One that a mingw-built library lets escape ends in its runtime's abort(), which the
  // guard turns into a failure, every time.
  EXPECT_FALSE(GuardedCall(Faulty("FaultCxxThrow"), nullptr));
  EXPECT_FALSE(GuardedCall(Faulty("FaultCxxThrow"), nullptr));
  EXPECT_TRUE(Guarded([] {}));
}

TEST(fault_guard_test, the_exception_code_is_reported) {
  auto raise = FaultyDll::Get().Find<void(__cdecl*)(DWORD, DWORD)>("FaultRaise");
  ASSERT_NE(raise, nullptr);
  unsigned long code = 1;
  EXPECT_TRUE(GuardedCall([](void*) {}, nullptr, &code));
  EXPECT_EQ(code, 0ul);
  EXPECT_FALSE(GuardedCall(Faulty("FaultAccessViolation"), nullptr, &code));
  EXPECT_EQ(code, 0xC0000005ul);
  EXPECT_FALSE(Guarded([&] { raise(0xC0DE0001, 0); }, &code));
  EXPECT_EQ(code, 0xC0DE0001ul);
  EXPECT_FALSE(GuardedCall(Faulty("FaultCxxThrow"), nullptr, &code));
  EXPECT_EQ(code, tb::kAbortInsideGuard);
}

TEST(fault_guard_test, chain_head_is_restored_on_both_paths) {
  void* before = ChainHead();
  EXPECT_TRUE(Guarded([&] { EXPECT_NE(ChainHead(), before); }));
  EXPECT_EQ(ChainHead(), before);
  EXPECT_FALSE(GuardedCall(WriteToBadAddress, nullptr));
  EXPECT_EQ(ChainHead(), before);
  EXPECT_FALSE(GuardedCall(Faulty("FaultMsvcThrow"), nullptr));
  EXPECT_EQ(ChainHead(), before);
}

TEST(fault_guard_test, callee_saved_registers_survive_both_paths) {
  uint32_t eax = 0;
  auto fn = reinterpret_cast<const void*>(&tb_guarded_call);
  auto ok = reinterpret_cast<uintptr_t>(+[](void*) {});
  EXPECT_EQ(tb_test_call_marked(fn, ok, 0, 0, 0, &eax), 0u);
  EXPECT_EQ(eax, 1u);
  // faulty.dll's ClobberAndFault wrecks EBX, ESI, EDI and EBP before it faults.
  auto clobber = reinterpret_cast<uintptr_t>(Faulty("ClobberAndFault"));
  ASSERT_NE(clobber, 0u);
  EXPECT_EQ(tb_test_call_marked(fn, clobber, 0, 0, 0, &eax), 0u);
  EXPECT_EQ(eax, 0u);
}

TEST(fault_guard_test, frames_above_the_guard_are_unwound) {
  auto fault = FaultyDll::Get().Find<void(__cdecl*)(int*)>("FaultUnderOwnFrame");
  ASSERT_NE(fault, nullptr);
  int counts[2] = {0, 0};
  void* before = ChainHead();
  EXPECT_FALSE(Guarded([&] { fault(counts); }));
  EXPECT_EQ(counts[0], 1) << "the plug-in's handler is asked before the guard";
  EXPECT_EQ(counts[1], 1) << "the plug-in's frame gets its unwind call";
  EXPECT_EQ(ChainHead(), before);
}

TEST(fault_guard_test, exceptions_handled_inside_the_call_are_left_alone) {
  auto handle_own = FaultyDll::Get().Find<int(__cdecl*)(int)>("HandleOwnException");
  ASSERT_NE(handle_own, nullptr);
  int seen = 0;
  EXPECT_TRUE(Guarded([&] { seen = handle_own(3); }));
  EXPECT_EQ(seen, 3);
}

TEST(fault_guard_test, nested_guards_catch_innermost_first) {
  bool inner = true;
  bool after_inner = false;
  EXPECT_TRUE(Guarded([&] {
    inner = GuardedCall(WriteToBadAddress, nullptr);
    after_inner = true;
  }));
  EXPECT_FALSE(inner);
  EXPECT_TRUE(after_inner);

  // A fault after an inner guard has returned belongs to the outer one.
  void* before = ChainHead();
  inner = false;
  EXPECT_FALSE(Guarded([&] {
    inner = Guarded([] {});
    WriteToBadAddress(nullptr);
  }));
  EXPECT_TRUE(inner);
  EXPECT_EQ(ChainHead(), before);
}

TEST(fault_guard_test, repeated_faults_leak_no_stack_and_no_handles) {
  VoidFn faults[] = {WriteToBadAddress, RaiseCustom, Faulty("FaultMsvcThrow"),
                     Faulty("FaultAccessViolation")};
  ASSERT_NE(faults[3], nullptr);
  DWORD handles_before = 0;
  DWORD handles_after = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles_before));
  // Where the guarded call's own frame lands: it stays put if nothing is left behind.
  uintptr_t first_frame = 0;
  int moved = 0;
  int failed = 0;
  for (int i = 0; i < 1000; ++i) {
    uintptr_t frame = 0;
    bool ok = Guarded([&] {
      volatile char local = 0;
      frame = reinterpret_cast<uintptr_t>(&local);
      faults[i % 4](nullptr);
    });
    if (ok) ++failed;
    if (i == 0) first_frame = frame;
    if (frame != first_frame) ++moved;
  }
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles_after));
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(moved, 0);
  EXPECT_EQ(handles_after, handles_before);
}

TEST(fault_guard_test, works_on_several_threads_at_once) {
  std::atomic<int> caught{0};
  std::atomic<int> chain_changed{0};
  std::vector<tbtest::Thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      void* before = ChainHead();
      for (int i = 0; i < 200; ++i) {
        if (!GuardedCall(WriteToBadAddress, nullptr)) ++caught;
        if (ChainHead() != before) ++chain_changed;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(caught.load(), 800);
  EXPECT_EQ(chain_changed.load(), 0);
}

}  // namespace
