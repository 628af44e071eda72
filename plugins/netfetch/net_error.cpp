#include "net_error.h"

#include <base/com.h>

#include <new>

#include "module.h"

namespace netfetch {
namespace {

// Immutable after construction, so only the count needs care across threads. Every
// live error object pins the library: its table lives in our code.
class NetError final : public tb::IError {
 public:
  explicit NetError(const Failure& failure)
      : code_(failure.code), systemError_(failure.systemError), message_(failure.message) {
    Pin();
  }
  ~NetError() { Unpin(); }
  NetError(const NetError&) = delete;
  NetError& operator=(const NetError&) = delete;

  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    const tb::QueryRow rows[] = {
        {&IID_IUnknown, this},
        {&tb::iid_of<tb::IError>(), this},
    };
    return tb::query_from_table(iid, out, rows);
  }
  ULONG TB_STDCALL AddRef() noexcept override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG TB_STDCALL Release() noexcept override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  const char* TB_STDCALL GetMessage() noexcept override { return message_.c_str(); }
  uint32_t TB_STDCALL GetCode() noexcept override { return code_; }
  uint32_t TB_STDCALL GetSystemError() noexcept override { return systemError_; }

 private:
  LONG refs_ = 1;
  const uint32_t code_;
  const uint32_t systemError_;
  const std::string message_;
};

}  // namespace

tb::IError* MakeError(const Failure& failure) noexcept {
  try {
    return new NetError(failure);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace netfetch
