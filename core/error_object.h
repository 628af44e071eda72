// The library's own error objects and the table of result-code names.
#ifndef TB_CORE_ERROR_OBJECT_H
#define TB_CORE_ERROR_OBJECT_H

#include <tunebay/error.h>

#include <string>

#include "base/com.h"

namespace tb {

/// An immutable IError carrying a result code, a system error number or a message.
class ErrorObject final : public implements<ErrorObject, IError> {
 public:
  static ErrorObject* FromCode(uint32_t code) noexcept;
  static ErrorObject* FromSystemError(uint32_t number) noexcept;
  static ErrorObject* FromMessage(const char* message) noexcept;
  /// An error with all three parts; a null message is empty.
  static ErrorObject* FromParts(uint32_t code, uint32_t systemError, const char* message) noexcept;

  const char* TB_STDCALL GetMessage() noexcept override;
  uint32_t TB_STDCALL GetCode() noexcept override;
  uint32_t TB_STDCALL GetSystemError() noexcept override;

 private:
  ErrorObject(uint32_t systemError, uint32_t code, std::string message);
  ~ErrorObject() = default;
  friend struct object_access;

  const uint32_t systemError_;
  const uint32_t code_;
  const std::string message_;
};

/// Stores a new error with `code` into `slot` when the slot is given. If the object
/// cannot be made the slot receives null.
void ReportError(IError** slot, uint32_t code) noexcept;

/// The name of a result code ("InvalidParameter", ...), or null when it has none.
const char* ResultCodeName(uint32_t code) noexcept;

/// The text that describes a system error number: the platform's message followed
/// by " (error # <hex>)", or a text of our own when the platform has none.
std::string SystemErrorText(uint32_t number);

/// Turns any error object into one that carries a readable message (see IManager).
bool DescribeError(IError* error, IError** out) noexcept;

}  // namespace tb

#endif  // TB_CORE_ERROR_OBJECT_H
