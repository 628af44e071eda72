// The error objects the reference plug-ins hand out. A plug-in cannot use the
// library's own error objects (it only knows the SDK), so it brings a small IError of
// its own: a result code (tb::result), a Windows error number when one applies, and a
// sentence for the user. It also answers IErrorVerdict: a decoder that is sure the file
// is its own but broken says so with kVerdictFinal, which stops the library from
// offering the file to further decoders; everything else carries verdict 0.
#ifndef TB_PLUGINS_COMMON_PLUGIN_ERROR_H
#define TB_PLUGINS_COMMON_PLUGIN_ERROR_H

#include <tunebay/error.h>
#include <windows.h>

#include <string>

namespace tb::plugin {

/// A new error object with one reference for the receiver, or null when it cannot be
/// allocated. `message` may be null (an empty message).
IError* NewError(uint32_t code, const char* message, uint32_t systemError = 0,
                 int32_t verdict = 0) noexcept;

/// The error-slot rule: when `slot` is given, it receives a new error object (or null
/// when none could be made); when it is null, nothing is made.
void SetError(IError** slot, uint32_t code, const char* message, uint32_t systemError = 0,
              int32_t verdict = 0) noexcept;

/// The platform's own text for an error number, without trailing line breaks, blanks
/// and full stop; looked up in `messages` (a library's message table, such as
/// WinINet's) before the system's when given. Empty when neither has one. May throw
/// std::bad_alloc.
std::string PlatformMessage(uint32_t number, HMODULE messages = nullptr);

/// The system's text for a Windows error number followed by " (Windows error <n>)";
/// "Windows error <n>" when the system has none. May throw std::bad_alloc.
std::string SystemErrorText(uint32_t systemError);

}  // namespace tb::plugin

#endif  // TB_PLUGINS_COMMON_PLUGIN_ERROR_H
