// The error objects this plug-in hands out. A plug-in cannot use the library's own
// error objects (it only knows the SDK), so it brings a small IError of its own.
#ifndef TB_PLUGINS_NETFETCH_NET_ERROR_H
#define TB_PLUGINS_NETFETCH_NET_ERROR_H

#include <tunebay/error.h>

#include <string>

namespace netfetch {

/// What went wrong, before it becomes an error object.
struct Failure {
  uint32_t code = tb::result::Failure;  ///< tb::result code
  uint32_t systemError = 0;             ///< Windows or WinINet error number, 0 when none
  std::string message;                  ///< readable text, shown to the user
};

/// A new error object carrying `failure`, with one reference for the receiver; null
/// when it cannot be allocated. Never throws.
tb::IError* MakeError(const Failure& failure) noexcept;

}  // namespace netfetch

#endif  // TB_PLUGINS_NETFETCH_NET_ERROR_H
