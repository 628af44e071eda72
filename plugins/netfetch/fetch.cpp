#include "plugins/netfetch/fetch.h"

#include <windows.h>

#include <wininet.h>

#include <memory>
#include <vector>

#include "base/handles.h"
#include "plugins/common/plugin_error.h"
#include "plugins/netfetch/url_text.h"

namespace tb::netfetch {
namespace {

struct close_hinternet {
  void operator()(HINTERNET handle) const noexcept { InternetCloseHandle(handle); }
};
using unique_hinternet = unique_handle<HINTERNET, close_hinternet>;

const char kAgent[] = "Tunebay netfetch/1.0";
const size_t kReadBlock = 64 * 1024;

// Texts for the WinINet errors a download meets most, for systems whose wininet.dll
// carries no message table.
const char* FallbackText(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_TIMEOUT:
      return "The operation timed out";
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return "The server name could not be resolved";
    case ERROR_INTERNET_CANNOT_CONNECT:
      return "The connection to the server failed";
    case ERROR_INTERNET_CONNECTION_ABORTED:
      return "The connection was aborted";
    case ERROR_INTERNET_CONNECTION_RESET:
      return "The connection was reset";
    case ERROR_INTERNET_INVALID_URL:
      return "The URL is invalid";
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
      return "The URL scheme is not supported";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return "The server returned an invalid response";
    default:
      return nullptr;
  }
}

// The platform's text for `error`, looked up in wininet.dll first since its numbers
// (12000 and up) are not in the system table.
std::string ErrorText(DWORD error) {
  std::string text = plugin::PlatformMessage(error, GetModuleHandleA("wininet.dll"));
  if (text.empty()) {
    const char* fallback = FallbackText(error);
    text = fallback ? fallback : "Unknown error";
  }
  return text;
}

// The server's last reply, which WinINet keeps when it reports
// ERROR_INTERNET_EXTENDED_ERROR (an ftp server's "550 ...", for example).
std::string ServerReply() {
  DWORD code = 0;
  DWORD size = 0;
  InternetGetLastResponseInfoA(&code, nullptr, &size);
  if (size == 0) return std::string();
  std::vector<char> text(size + 1);
  if (!InternetGetLastResponseInfoA(&code, text.data(), &size)) return std::string();
  return TrimRight(std::string(text.data(), size < text.size() ? size : text.size() - 1));
}

bool Fail(Failure* failure, uint32_t code, uint32_t systemError, std::string message) {
  failure->code = code;
  failure->systemError = systemError;
  failure->message = std::move(message);
  return false;
}

// A failure of a WinINet call: `what` says what was being done, the rest comes from
// the platform (and from the server when it explained itself).
bool FailNet(Failure* failure, uint32_t code, DWORD error, const std::string& what) {
  std::string text = error == ERROR_INTERNET_EXTENDED_ERROR ? ServerReply() : std::string();
  if (text.empty()) text = ErrorText(error);
  return Fail(failure, code, error,
              what + ": " + text + " (WinINet error " + std::to_string(error) + ")");
}

// Every timeout WinINet has, on a handle and so on the handles made from it, so that
// neither connecting nor any wait on a silent server blocks for longer than asked.
void SetTimeouts(HINTERNET handle, DWORD ms) {
  const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                           INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                           INTERNET_OPTION_DATA_RECEIVE_TIMEOUT};
  for (DWORD option : options) InternetSetOptionA(handle, option, &ms, sizeof ms);
}

// WinINet does not apply its timeouts to every wait (logging in to an ftp server that
// never answers blocks for good), so a watchdog thread backs them up: when no step of
// the transfer has made progress for the timeout plus kWatchdogGraceMs, it closes the
// session handle, which makes the blocked call return. Closing a session also frees
// every handle made from it, so after that nobody may close those handles again (their
// values may already belong to someone else); the lock makes "close on time-out" and
// "close when done" exclusive.
const DWORD kWatchdogGraceMs = 1000;

class Watchdog {
 public:
  Watchdog(HINTERNET session, DWORD idleMs) noexcept
      : session_(session), limit_(idleMs + kWatchdogGraceMs), last_(GetTickCount()) {
    InitializeCriticalSection(&lock_);
    stop_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (stop_) thread_.reset(CreateThread(nullptr, 0, &Watchdog::Run, this, 0, nullptr));
  }
  ~Watchdog() {
    Disarm();
    if (thread_) {
      SetEvent(stop_.get());
      WaitForSingleObject(thread_.get(), INFINITE);
    }
    DeleteCriticalSection(&lock_);
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  void Progress() noexcept { InterlockedExchange(&last_, static_cast<LONG>(GetTickCount())); }

  // Stops watching. True when the session is still open and the caller closes it.
  bool Disarm() noexcept {
    EnterCriticalSection(&lock_);
    armed_ = false;
    bool open = !fired_;
    LeaveCriticalSection(&lock_);
    return open;
  }

  bool Fired() noexcept {
    EnterCriticalSection(&lock_);
    bool fired = fired_;
    LeaveCriticalSection(&lock_);
    return fired;
  }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<Watchdog*>(self)->Watch();
    return 0;
  }
  void Watch() noexcept {
    // Fine enough to fire soon after the limit, coarse enough to cost nothing.
    const DWORD tick = limit_ / 8 < 50 ? 50 : (limit_ / 8 > 500 ? 500 : limit_ / 8);
    while (WaitForSingleObject(stop_.get(), tick) == WAIT_TIMEOUT) {
      DWORD idle = GetTickCount() - static_cast<DWORD>(InterlockedCompareExchange(&last_, 0, 0));
      if (idle < limit_) continue;
      EnterCriticalSection(&lock_);
      if (armed_) {
        InternetCloseHandle(session_);
        fired_ = true;
        armed_ = false;
      }
      LeaveCriticalSection(&lock_);
      return;
    }
  }

  HINTERNET session_;
  const DWORD limit_;
  volatile LONG last_;
  CRITICAL_SECTION lock_;
  bool armed_ = true;
  bool fired_ = false;
  tb::unique_handle<HANDLE, tb::close_handle> stop_;
  tb::unique_handle<HANDLE, tb::close_handle> thread_;
};

// The pieces of a URL that InternetConnect and the open calls take.
struct UrlParts {
  std::string host;
  INTERNET_PORT port = 0;
  std::string user;
  std::string password;
  std::string object;  // http: path and query as written; ftp: the decoded file path
};

bool Crack(const char* url, UrlScheme scheme, UrlParts* parts, Failure* failure) {
  URL_COMPONENTSA c = {};
  c.dwStructSize = sizeof c;
  // Non-zero lengths with null buffers: the fields point into `url`.
  c.dwHostNameLength = c.dwUserNameLength = c.dwPasswordLength = 1;
  c.dwUrlPathLength = c.dwExtraInfoLength = 1;
  if (!InternetCrackUrlA(url, 0, 0, &c) || !c.lpszHostName || c.dwHostNameLength == 0) {
    DWORD error = GetLastError();
    return Fail(failure, result::BadPathName, error, "Not a usable URL: " + RedactUrl(url));
  }
  auto field = [](const char* text, DWORD length) {
    return text ? std::string(text, length) : std::string();
  };
  parts->host = field(c.lpszHostName, c.dwHostNameLength);
  parts->port = c.nPort;
  std::string path = field(c.lpszUrlPath, c.dwUrlPathLength);
  std::string extra = field(c.lpszExtraInfo, c.dwExtraInfoLength);
  if (scheme == UrlScheme::kHttp) {
    parts->user = field(c.lpszUserName, c.dwUserNameLength);
    parts->password = field(c.lpszPassword, c.dwPasswordLength);
    parts->object = path.empty() ? "/" + extra : path + extra;
    return true;
  }
  // An ftp server gets names, not URL text: ";type=" goes and escapes are resolved.
  path = path.substr(0, path.find(';'));
  if (!PercentDecode(field(c.lpszUserName, c.dwUserNameLength), &parts->user) ||
      !PercentDecode(field(c.lpszPassword, c.dwPasswordLength), &parts->password) ||
      !PercentDecode(path, &parts->object)) {
    return Fail(failure, result::BadPathName, 0, "Bad escape in the URL: " + RedactUrl(url));
  }
  return true;
}

// The handles of one transfer and their watchdog. The destructor closes what is still
// open, or only forgets the handles when the watchdog has closed them already.
class Transfer {
 public:
  Transfer(const char* url, DWORD timeoutMs) : shown_(RedactUrl(url)), timeoutMs_(timeoutMs) {}
  ~Transfer() {
    if (watchdog_ && !watchdog_->Disarm()) {
      data_.release();
      connect_.release();
      session_.release();
    }
    watchdog_.reset();
  }
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // Connects and asks for the file; afterwards data() reads its content.
  bool Open(UrlScheme scheme, const UrlParts& parts, Failure* failure) {
    // PRECONFIG: the user's proxy settings apply, as for any program on the machine.
    session_.reset(InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session_) {
      return FailNet(failure, result::OpenFailed, GetLastError(),
                     "Cannot start WinINet for " + shown_);
    }
    SetTimeouts(session_.get(), timeoutMs_);
    watchdog_.reset(new Watchdog(session_.get(), timeoutMs_));

    bool ftp = scheme == UrlScheme::kFtp;
    const char* user = parts.user.empty() ? nullptr : parts.user.c_str();
    const char* password = parts.password.empty() ? nullptr : parts.password.c_str();
    connect_.reset(InternetConnectA(session_.get(), parts.host.c_str(), parts.port, user, password,
                                    ftp ? INTERNET_SERVICE_FTP : INTERNET_SERVICE_HTTP,
                                    ftp ? INTERNET_FLAG_PASSIVE : 0, 0));
    if (!connect_) return FailCall(failure, result::OpenFailed, "Cannot connect to ");
    SetTimeouts(connect_.get(), timeoutMs_);
    watchdog_->Progress();

    // Always the server's current file: nothing from or into the cache, no cookies, no
    // dialogs (a plug-in runs inside someone else's window).
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
    if (ftp) {
      data_.reset(FtpOpenFileA(connect_.get(), parts.object.c_str(), GENERIC_READ,
                               FTP_TRANSFER_TYPE_BINARY | flags, 0));
      if (!data_) return FailCall(failure, result::OpenFailed, "Cannot open ");
      watchdog_->Progress();
      return true;
    }
    const char* accept[] = {"*/*", nullptr};
    // Redirections are followed here, counted, rather than by WinINet, which follows
    // two servers that send each other round for ever.
    data_.reset(HttpOpenRequestA(connect_.get(), "GET", parts.object.c_str(), nullptr, nullptr,
                                 accept,
                                 flags | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES |
                                     INTERNET_FLAG_NO_AUTO_REDIRECT,
                                 0));
    if (!data_) return FailCall(failure, result::OpenFailed, "Cannot open ");
    SetTimeouts(data_.get(), timeoutMs_);
    if (!HttpSendRequestA(data_.get(), nullptr, 0, nullptr, 0)) {
      return FailCall(failure, result::OpenFailed, "Cannot open ");
    }
    watchdog_->Progress();
    return true;
  }

  HINTERNET data() const { return data_.get(); }
  void Progress() { watchdog_->Progress(); }
  const std::string& shown() const { return shown_; }

  // A failed call: a time-out when the watchdog ended it, else WinINet's own error.
  // `what` is completed with the URL.
  bool FailCall(Failure* failure, uint32_t code, const std::string& what) {
    DWORD error = GetLastError();
    if (watchdog_ && watchdog_->Fired()) {
      return Fail(failure, code, ERROR_INTERNET_TIMEOUT,
                  what + shown_ + ": the server did not answer for " + std::to_string(timeoutMs_) +
                      " ms (WinINet error " + std::to_string(ERROR_INTERNET_TIMEOUT) + ")");
    }
    return FailNet(failure, code, error, what + shown_);
  }

 private:
  const std::string shown_;
  const DWORD timeoutMs_;
  unique_hinternet session_;
  unique_hinternet connect_;
  unique_hinternet data_;
  std::unique_ptr<Watchdog> watchdog_;
};
// The Content-Length the server announced; false when it sent none.
bool AnnouncedLength(HINTERNET request, uint64_t* length) {
  char text[32];
  DWORD size = sizeof text;
  if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return false;
  uint64_t value = 0;
  if (size == 0 || size >= sizeof text) return false;
  for (DWORD i = 0; i < size; ++i) {
    if (text[i] < '0' || text[i] > '9' || value > (UINT64_MAX - 9) / 10) return false;
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  *length = value;
  return true;
}

// The target of a redirection (301, 302, 303, 307, 308) as an absolute URL, or empty
// when the reply is no redirection. False when a redirection names no usable target.
bool RedirectTarget(HINTERNET request, const std::string& from, std::string* target,
                    Failure* failure) {
  target->clear();
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr)) {
    return true;  // CheckStatus reports it
  }
  if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) {
    return true;
  }
  std::vector<char> location(2048);
  DWORD length = static_cast<DWORD>(location.size());
  if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location.data(), &length, nullptr)) {
    return Fail(failure, result::OpenFailed, 0,
                "The server redirected " + RedactUrl(from.c_str()) + " without saying where");
  }
  std::vector<char> combined(4096);
  DWORD combinedSize = static_cast<DWORD>(combined.size());
  if (!InternetCombineUrlA(from.c_str(), location.data(), combined.data(), &combinedSize,
                           ICU_NO_ENCODE)) {
    return Fail(failure, result::OpenFailed, GetLastError(),
                "The server redirected " + RedactUrl(from.c_str()) + " to an unusable address");
  }
  target->assign(combined.data(), combinedSize);
  return true;
}

// Checks the status line: anything but 2xx means the body is not the file.
bool CheckStatus(HINTERNET request, const char* url, Failure* failure) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr)) {
    return FailNet(failure, result::OpenFailed, GetLastError(),
                   "No HTTP status for " + RedactUrl(url));
  }
  if (IsSuccessStatus(status)) return true;
  char reason[256] = "";
  DWORD reasonSize = sizeof reason;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_TEXT, reason, &reasonSize, nullptr)) {
    reasonSize = 0;
  }
  // Only "not found" and "gone" say for certain that the file is not there.
  uint32_t code = (status == 404 || status == 410) ? result::FileNotFound : result::OpenFailed;
  return Fail(failure, code, 0, HttpStatusMessage(status, std::string(reason, reasonSize), url));
}

// The local copy: a new file in the temporary folder, deleted again unless kept.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() {
    file_.reset();
    if (!kept_ && !path_.empty()) DeleteFileA(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates the file with the given extension (empty: the platform's ".tmp").
  // GetTempFileName reserves a unique name; the file we write takes that name with our
  // extension, created only if nobody has it, and the reservation is then given back.
  bool Create(const std::string& extension, Failure* failure) {
    char folder[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n > MAX_PATH) {
      return Fail(failure, result::WriteFault, GetLastError(),
                  "The temporary folder cannot be found");
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
      char reserved[MAX_PATH];
      if (!GetTempFileNameA(folder, "tbn", 0, reserved)) {
        DWORD error = GetLastError();
        return Fail(
            failure, result::WriteFault, error,
            std::string("No temporary file can be made in ") + folder + ": " + ErrorText(error));
      }
      std::string path = WithExtension(reserved, extension);
      DWORD disposition = path == reserved ? TRUNCATE_EXISTING : CREATE_NEW;
      file_.reset(CreateFileA(path.c_str(), GENERIC_WRITE | DELETE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
      DWORD error = GetLastError();
      if (path != reserved) DeleteFileA(reserved);
      if (file_) {
        path_ = path;
        // Deleted by the system when the handle closes, also when the process is killed,
        // until Finish takes the mark back.
        MarkForDeletion(true);
        return true;
      }
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
        if (path == reserved) DeleteFileA(reserved);
        return Fail(failure, result::WriteFault, error,
                    "Cannot create " + path + ": " + ErrorText(error));
      }
    }
    return Fail(failure, result::WriteFault, ERROR_FILE_EXISTS,
                std::string("No free temporary file name in ") + folder);
  }

  bool Write(const char* data, DWORD size, Failure* failure) {
    DWORD written = 0;
    if (WriteFile(file_.get(), data, size, &written, nullptr) && written == size) return true;
    DWORD error = GetLastError();
    return Fail(failure, result::WriteFault, error,
                "Cannot write " + path_ + ": " + ErrorText(error));
  }

  // Closes the file so that a decoder may open it, and keeps it.
  bool Finish(Failure* failure) {
    if (!MarkForDeletion(false)) {
      DWORD error = GetLastError();
      return Fail(failure, result::WriteFault, error,
                  "Cannot keep " + path_ + ": " + ErrorText(error));
    }
    HANDLE file = file_.release();
    if (!CloseHandle(file)) {
      DWORD error = GetLastError();
      return Fail(failure, result::WriteFault, error,
                  "Cannot finish " + path_ + ": " + ErrorText(error));
    }
    kept_ = true;
    return true;
  }

  const std::string& path() const { return path_; }

 private:
  bool MarkForDeletion(bool deleted) noexcept {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleted ? TRUE : FALSE;
    return SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
  }

  tb::unique_hfile file_;
  std::string path_;
  bool kept_ = false;
};

}  // namespace

uint32_t CurrentTimeoutMs() noexcept {
  char text[32];
  DWORD n = GetEnvironmentVariableA(kTimeoutVariable, text, sizeof text);
  if (n == 0 || n >= sizeof text) return kDefaultTimeoutMs;
  return ParseTimeoutMs(text, kDefaultTimeoutMs);
}

uint64_t CurrentSizeLimit() noexcept {
  char text[32];
  DWORD n = GetEnvironmentVariableA(kSizeLimitVariable, text, sizeof text);
  if (n > 0 && n < sizeof text) {
    uint64_t value = 0;
    bool digits = true;
    for (DWORD i = 0; i < n && digits; ++i) {
      digits = text[i] >= '0' && text[i] <= '9' && value <= (UINT64_MAX - 9) / 10;
      if (digits) value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (digits && value > 0) return value;
  }
  uint64_t limit = kDefaultSizeLimit;
  char folder[MAX_PATH + 1];
  ULARGE_INTEGER available;
  DWORD length = GetTempPathA(sizeof folder, folder);
  if (length > 0 && length <= MAX_PATH &&
      GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr) && available.QuadPart < limit) {
    limit = available.QuadPart;
  }
  return limit;
}

bool FetchToTempFile(const char* url, char* localPath, size_t localPathSize, uint32_t timeoutMs,
                     uint64_t sizeLimit, std::string* savedPath, Failure* failure) {
  std::string current = url;
  std::unique_ptr<Transfer> transfer;
  UrlScheme scheme = UrlScheme::kUnsupported;
  for (int redirects = 0;; ++redirects) {
    scheme = SchemeOf(current.c_str());
    if (scheme == UrlScheme::kUnsupported) {
      return Fail(failure, result::BadPathName, 0,
                  "Not an http or ftp URL: " + RedactUrl(current.c_str()));
    }
    UrlParts parts;
    if (!Crack(current.c_str(), scheme, &parts, failure)) return false;
    transfer.reset(new Transfer(current.c_str(), timeoutMs));
    if (!transfer->Open(scheme, parts, failure)) return false;
    if (scheme != UrlScheme::kHttp) break;
    std::string target;
    if (!RedirectTarget(transfer->data(), current, &target, failure)) return false;
    if (target.empty()) break;
    if (redirects == kMaxRedirects) {
      return Fail(failure, result::OpenFailed, 0,
                  "Download of " + RedactUrl(url) + " redirected more than " +
                      std::to_string(kMaxRedirects) + " times");
    }
    current = target;
  }
  const std::string& shown = transfer->shown();

  uint64_t announced = 0;
  bool lengthKnown = false;
  if (scheme == UrlScheme::kHttp) {
    if (!CheckStatus(transfer->data(), current.c_str(), failure)) return false;
    lengthKnown = AnnouncedLength(transfer->data(), &announced);
  }
  const std::string tooLarge = "Download of " + shown + " is larger than the limit of " +
                               std::to_string(sizeLimit) + " bytes";
  if (lengthKnown && announced > sizeLimit) {
    return Fail(failure, result::ReadFault, ERROR_FILE_TOO_LARGE, tooLarge);
  }

  // The file is made only now, once the server has the file, and its path must reach
  // the caller in full: a cut path would name some other file.
  TempFile file;
  if (!file.Create(ExtensionOf(url), failure)) return false;
  if (!CopyIfFits(file.path(), localPath, localPathSize)) {
    return Fail(failure, result::InsufficientBuffer, 0,
                "The local copy's path does not fit in " + std::to_string(localPathSize) +
                    " bytes: " + file.path());
  }

  std::vector<char> block(kReadBlock);
  uint64_t received = 0;
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(transfer->data(), block.data(), static_cast<DWORD>(block.size()), &got)) {
      return transfer->FailCall(
          failure, result::ReadFault,
          "Download broke off after " + std::to_string(received) + " bytes from ");
    }
    if (got == 0) break;
    transfer->Progress();
    if (received + got > sizeLimit) {
      return Fail(failure, result::ReadFault, ERROR_FILE_TOO_LARGE, tooLarge);
    }
    if (!file.Write(block.data(), got, failure)) return false;
    received += got;
  }
  // A connection that closes early ends the read loop like the end of the file does;
  // only the announced length tells the two apart.
  if (lengthKnown && received != announced) {
    return Fail(failure, result::ReadFault, 0,
                "Download of " + shown + " ended after " + std::to_string(received) + " of " +
                    std::to_string(announced) + " bytes");
  }
  if (!file.Finish(failure)) return false;
  *savedPath = file.path();
  return true;
}

}  // namespace tb::netfetch
