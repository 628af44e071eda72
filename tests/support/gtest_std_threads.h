// std::mutex and std::condition_variable for GoogleTest, on Windows primitives.
//
// The project builds with the compilers' win32 thread model (see
// cmake/mingw-i686.cmake), whose C++ runtime has neither; GoogleTest's thread-safe mode
// on Windows wants both. This header is forced into GoogleTest and the test programs
// only; no shipped code sees it.
#ifndef TB_TESTS_SUPPORT_GTEST_STD_THREADS_H
#define TB_TESTS_SUPPORT_GTEST_STD_THREADS_H

#ifdef __cplusplus

#include <windows.h>

#include <bits/c++config.h>

#if !defined(_GLIBCXX_HAS_GTHREADS)

#include <mutex>

namespace std {

class mutex {
 public:
  constexpr mutex() noexcept = default;
  mutex(const mutex&) = delete;
  mutex& operator=(const mutex&) = delete;
  void lock() { AcquireSRWLockExclusive(&lock_); }
  bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
  void unlock() { ReleaseSRWLockExclusive(&lock_); }
  SRWLOCK* native_handle() { return &lock_; }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};

class condition_variable {
 public:
  condition_variable() noexcept = default;
  condition_variable(const condition_variable&) = delete;
  condition_variable& operator=(const condition_variable&) = delete;
  void notify_one() noexcept { WakeConditionVariable(&condition_); }
  void notify_all() noexcept { WakeAllConditionVariable(&condition_); }
  void wait(unique_lock<mutex>& lock) {
    SleepConditionVariableSRW(&condition_, lock.mutex()->native_handle(), INFINITE, 0);
  }
  template <class Predicate>
  void wait(unique_lock<mutex>& lock, Predicate ready) {
    while (!ready()) wait(lock);
  }

 private:
  CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

}  // namespace std

#endif  // !_GLIBCXX_HAS_GTHREADS
#endif  // __cplusplus
#endif  // TB_TESTS_SUPPORT_GTEST_STD_THREADS_H
