// A joinable thread for tests. The project builds with the compilers' win32 thread model,
// whose runtime has no std::thread; this is the little of it that the tests use.
#ifndef TB_TESTS_SUPPORT_TEST_THREAD_H
#define TB_TESTS_SUPPORT_TEST_THREAD_H

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>

namespace tbtest {

class Thread {
 public:
  explicit Thread(std::function<void()> body)
      : body_(std::make_unique<std::function<void()>>(std::move(body))) {
    handle_ = CreateThread(nullptr, 0, &Thread::Run, body_.get(), 0, nullptr);
    if (!handle_) std::abort();
  }
  Thread(Thread&& other) noexcept
      : body_(std::move(other.body_)), handle_(std::exchange(other.handle_, nullptr)) {}
  Thread& operator=(Thread&&) = delete;
  Thread(const Thread&) = delete;
  ~Thread() {
    if (handle_) std::abort();  // like std::thread: a thread must be joined
  }

  void join() {
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static DWORD WINAPI Run(void* body) {
    (*static_cast<std::function<void()>*>(body))();
    return 0;
  }

  std::unique_ptr<std::function<void()>> body_;
  HANDLE handle_ = nullptr;
};

}  // namespace tbtest

#endif  // TB_TESTS_SUPPORT_TEST_THREAD_H
