// One transfer: a URL fetched through WinINet into a temporary file.
#ifndef TB_PLUGINS_NETFETCH_FETCH_H
#define TB_PLUGINS_NETFETCH_FETCH_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "plugins/netfetch/net_error.h"

namespace tb::netfetch {

/// Timeout for connecting and for each wait on the server, in milliseconds, unless the
/// environment variable named by kTimeoutVariable asks for another.
const uint32_t kDefaultTimeoutMs = 30000;
const char* const kTimeoutVariable = "TUNEBAY_NETFETCH_TIMEOUT_MS";

/// The timeout the next transfer uses (read from the environment at each call, so a
/// test or an administrator can shorten it without rebuilding).
uint32_t CurrentTimeoutMs() noexcept;

/// Redirections followed for one download; one more is an error.
const int kMaxRedirects = 10;

/// The largest file a download keeps: the host may set a smaller (or larger) limit in
/// bytes through the environment variable named by kSizeLimitVariable; without it, 4 GiB
/// or the free space of the temporary folder, whichever is smaller.
const uint64_t kDefaultSizeLimit = 4ull << 30;
const char* const kSizeLimitVariable = "TUNEBAY_NETFETCH_MAX_BYTES";

/// The size limit the next transfer uses (read at each call, like the timeout).
uint64_t CurrentSizeLimit() noexcept;

/// Fetches the http or ftp `url` into a new file in the temporary folder whose name
/// keeps the URL's extension, and writes that file's path zero-terminated into
/// `localPath` (`localPathSize` bytes). On success `savedPath` receives the path too.
/// On failure `failure` says why, and no file is left behind; `localPath` may then
/// hold anything. Redirections are followed up to kMaxRedirects; a file larger than
/// `sizeLimit` bytes is refused. The file is marked for deletion until it is complete,
/// so not even a process that is killed mid-transfer leaves it behind. May throw
/// std::bad_alloc.
bool FetchToTempFile(const char* url, char* localPath, size_t localPathSize, uint32_t timeoutMs,
                     uint64_t sizeLimit, std::string* savedPath, Failure* failure);

}  // namespace tb::netfetch

#endif  // TB_PLUGINS_NETFETCH_FETCH_H
