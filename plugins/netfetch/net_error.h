// What went wrong in a download, and the error object it becomes: the reference
// plug-ins' common one (plugins/common/plugin_error.h).
#ifndef TB_PLUGINS_NETFETCH_NET_ERROR_H
#define TB_PLUGINS_NETFETCH_NET_ERROR_H

#include <tunebay/error.h>

#include <string>

#include "plugins/common/plugin_error.h"

namespace tb::netfetch {

/// What went wrong, before it becomes an error object.
struct Failure {
  uint32_t code = result::Failure;  ///< tb::result code
  uint32_t systemError = 0;         ///< Windows or WinINet error number, 0 when none
  std::string message;              ///< readable text, shown to the user
};

/// A new error object carrying `failure`, with one reference for the receiver; null
/// when it cannot be allocated. Never throws.
inline IError* MakeError(const Failure& failure) noexcept {
  return plugin::NewError(failure.code, failure.message.c_str(), failure.systemError);
}

}  // namespace tb::netfetch

#endif  // TB_PLUGINS_NETFETCH_NET_ERROR_H
