// The downloader's text work that needs no platform: which scheme a URL has, which
// extension the local copy takes, how the copy's path reaches the caller's buffer, and
// the texts of its error messages. Kept free of windows.h so it also builds natively
// under the sanitizers.
#ifndef TB_PLUGINS_NETFETCH_URL_TEXT_H
#define TB_PLUGINS_NETFETCH_URL_TEXT_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace tb::netfetch {

enum class UrlScheme { kUnsupported, kHttp, kFtp };

/// "http://" or "ftp://" (letter case ignored) followed by at least one character.
UrlScheme SchemeOf(const char* url);

/// Longest extension the local copy keeps. Anything longer is not a file type a
/// decoder would recognise, and it keeps the temporary path short.
const size_t kMaxExtension = 15;

/// The extension of the URL's last path segment, without its dot, as the local copy
/// should carry it so that the decoders recognise the type: query and fragment (and
/// for ftp a ";type=" suffix) do not count. Empty when the segment has no extension,
/// or when the extension is longer than kMaxExtension or holds anything but ASCII
/// letters and digits (it becomes part of a file name).
std::string ExtensionOf(const char* url);

/// `tempPath` with its extension replaced by `extension` (without dot); `tempPath`
/// unchanged when `extension` is empty or the path's file name has no extension.
std::string WithExtension(const std::string& tempPath, const std::string& extension);

/// Copies `path` zero-terminated into `buffer` of `size` bytes when it fits with its
/// terminating zero; otherwise returns false and leaves the buffer untouched.
bool CopyIfFits(const std::string& path, char* buffer, size_t size);

/// The timeout in milliseconds that `text` asks for: a plain decimal number from 1 to
/// kMaxTimeoutMs. Anything else (null, empty, signs, junk, zero, too large) gives
/// `fallback`.
const uint32_t kMaxTimeoutMs = 3600u * 1000u;
uint32_t ParseTimeoutMs(const char* text, uint32_t fallback);

/// `text` with every %XX escape replaced by its byte, for the parts of an ftp URL that
/// go to the server unescaped (user, password, path). False for a '%' without two hex
/// digits after it and for %00, which would cut the text short.
bool PercentDecode(const std::string& text, std::string* decoded);

/// `url` with a password in its user part replaced by "***", for messages the user
/// sees.
std::string RedactUrl(const char* url);

/// `text` without trailing white space (system messages end with a line break).
std::string TrimRight(const std::string& text);

/// Whether an HTTP status means the body is the file asked for.
inline bool IsSuccessStatus(uint32_t status) { return status >= 200 && status <= 299; }

/// "HTTP <status> <reason> for <url>", the reason left out when empty.
std::string HttpStatusMessage(uint32_t status, const std::string& reason, const char* url);

}  // namespace tb::netfetch

#endif  // TB_PLUGINS_NETFETCH_URL_TEXT_H
