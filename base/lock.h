// Recursive locks (critical sections) behind a small RAII guard.
#ifndef TB_BASE_LOCK_H
#define TB_BASE_LOCK_H

#include <windows.h>

namespace tb {

class RecursiveLock {
 public:
  RecursiveLock() noexcept { InitializeCriticalSection(&section_); }
  ~RecursiveLock() { DeleteCriticalSection(&section_); }
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void lock() noexcept { EnterCriticalSection(&section_); }
  void unlock() noexcept { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class LockGuard {
 public:
  explicit LockGuard(RecursiveLock& lock) noexcept : lock_(lock) { lock_.lock(); }
  ~LockGuard() { lock_.unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  RecursiveLock& lock_;
};

}  // namespace tb

#endif  // TB_BASE_LOCK_H
