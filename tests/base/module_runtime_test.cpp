// The exception support that every loaded library carries in place of the runtime's own
// (base/module_runtime.cpp): throwing, catching, rethrowing and carrying exceptions
// between threads work as before, and a thread's record goes with the thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/footprint.h"
#include "support/test_thread.h"

namespace {

struct Big {
  char bytes[4096];
  int value;
};

struct CountsUncaught {
  int* seen;
  ~CountsUncaught() { *seen = std::uncaught_exceptions(); }
};

TEST(module_runtime_test, nested_rethrown_and_large_exceptions_arrive_intact) {
  int uncaughtDuringUnwind = -1;
  try {
    try {
      CountsUncaught probe{&uncaughtDuringUnwind};
      throw std::runtime_error("inner");
    } catch (const std::runtime_error& inner) {
      EXPECT_STREQ(inner.what(), "inner");
      try {
        throw Big{{}, 42};
      } catch (const Big& big) {
        EXPECT_EQ(big.value, 42);
      }
      throw;
    }
  } catch (const std::exception& outer) {
    EXPECT_STREQ(outer.what(), "inner");
    EXPECT_EQ(std::uncaught_exceptions(), 0);
  }
  EXPECT_EQ(uncaughtDuringUnwind, 1);
}

TEST(module_runtime_test, an_exception_carried_to_another_thread_is_rethrown_there) {
  std::exception_ptr carried;
  try {
    throw std::invalid_argument(std::string(300, 'x'));
  } catch (...) {
    carried = std::current_exception();
  }
  std::string seen;
  tbtest::Thread other([&] {
    try {
      std::rethrow_exception(carried);
    } catch (const std::invalid_argument& e) {
      seen = e.what();
    }
  });
  other.join();
  EXPECT_EQ(seen, std::string(300, 'x'));
}

TEST(module_runtime_test, threads_that_threw_leave_no_records_behind) {
  auto throwOnThreads = [](int count) {
    std::atomic<int> caught{0};
    for (int i = 0; i < count; ++i) {
      tbtest::Thread thread([&] {
        try {
          throw i;
        } catch (int) {
          ++caught;
        }
      });
      thread.join();
    }
    return caught.load();
  };
  ASSERT_EQ(throwOnThreads(5), 5);
  const size_t before = tbsoak::HeapBytesInUse();
  EXPECT_EQ(throwOnThreads(400), 400);
  // A record kept per ended thread would add several kilobytes here.
  EXPECT_LT(tbsoak::HeapBytesInUse(), before + 2048);
}

}  // namespace
