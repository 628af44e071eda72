#include "plugins/common/plugin_error.h"

#include <cstdio>
#include <new>

#include "base/com.h"
#include "plugins/common/live_objects.h"

namespace tb::plugin {
namespace {

// Immutable after construction; only the count changes, with interlocked operations.
class PluginError final : public implements<PluginError, IError, IErrorVerdict> {
 public:
  PluginError(uint32_t code, const char* message, uint32_t systemError, int32_t verdict)
      : code_(code),
        systemError_(systemError),
        verdict_(verdict),
        message_(message ? message : "") {}

  const char* TB_STDCALL GetMessage() noexcept override { return message_.c_str(); }
  uint32_t TB_STDCALL GetCode() noexcept override { return code_; }
  uint32_t TB_STDCALL GetSystemError() noexcept override { return systemError_; }
  int32_t TB_STDCALL GetVerdict() noexcept override { return verdict_; }

 private:
  // First, so that it is destroyed last: the object's table and the message's code
  // live in this library until every member is gone.
  LiveObject live_;
  const uint32_t code_;
  const uint32_t systemError_;
  const int32_t verdict_;
  const std::string message_;
};

}  // namespace

IError* NewError(uint32_t code, const char* message, uint32_t systemError,
                 int32_t verdict) noexcept {
  try {
    return static_cast<IError*>(new PluginError(code, message, systemError, verdict));
  } catch (...) {
    return nullptr;
  }
}

void SetError(IError** slot, uint32_t code, const char* message, uint32_t systemError,
              int32_t verdict) noexcept {
  if (slot) *slot = NewError(code, message, systemError, verdict);
}

std::string PlatformMessage(uint32_t number, HMODULE messages) {
  char text[512];
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                      (messages ? FORMAT_MESSAGE_FROM_HMODULE : 0);
  DWORD n = FormatMessageA(flags, messages, number, 0, text, sizeof text, nullptr);
  while (n > 0 &&
         (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ' || text[n - 1] == '.')) {
    --n;
  }
  return std::string(text, n);
}

std::string SystemErrorText(uint32_t systemError) {
  const std::string text = PlatformMessage(systemError);
  if (text.empty()) return "Windows error " + std::to_string(systemError);
  return text + " (Windows error " + std::to_string(systemError) + ")";
}

}  // namespace tb::plugin
