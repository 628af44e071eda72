#include "plugins/netfetch/url_text.h"

#include <string.h>

namespace tb::netfetch {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix) {
    if (Lower(*text) != *prefix) return false;
  }
  return true;
}

// Length of "scheme://" for the schemes handled, 0 for any other.
size_t SchemeLength(const char* url) {
  if (!url) return 0;
  if (StartsWithNoCase(url, "http://")) return 7;
  if (StartsWithNoCase(url, "ftp://")) return 6;
  return 0;
}

}  // namespace

UrlScheme SchemeOf(const char* url) {
  size_t n = SchemeLength(url);
  if (n == 0 || url[n] == '\0') return UrlScheme::kUnsupported;
  return n == 7 ? UrlScheme::kHttp : UrlScheme::kFtp;
}

std::string ExtensionOf(const char* url) {
  size_t n = SchemeLength(url);
  if (n == 0) return std::string();
  bool ftp = n == 6;
  const char* rest = url + n;
  size_t end = strcspn(rest, ftp ? "?#;" : "?#");
  std::string address(rest, end);
  // The host part has no file name; only what follows its first slash does.
  size_t slash = address.find('/');
  if (slash == std::string::npos) return std::string();
  std::string segment = address.substr(address.find_last_of('/') + 1);
  size_t dot = segment.find_last_of('.');
  if (dot == std::string::npos) return std::string();
  std::string extension = segment.substr(dot + 1);
  if (extension.empty() || extension.size() > kMaxExtension) return std::string();
  for (char c : extension) {
    if (!IsAlnum(c)) return std::string();
  }
  return extension;
}

std::string WithExtension(const std::string& tempPath, const std::string& extension) {
  if (extension.empty()) return tempPath;
  size_t name = tempPath.find_last_of("\\/:");
  size_t dot = tempPath.find_last_of('.');
  if (dot == std::string::npos || (name != std::string::npos && dot < name)) return tempPath;
  return tempPath.substr(0, dot + 1) + extension;
}

bool CopyIfFits(const std::string& path, char* buffer, size_t size) {
  if (!buffer || path.size() + 1 > size) return false;
  memcpy(buffer, path.c_str(), path.size() + 1);
  return true;
}

uint32_t ParseTimeoutMs(const char* text, uint32_t fallback) {
  if (!text || *text == '\0') return fallback;
  uint64_t value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return fallback;
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > kMaxTimeoutMs) return fallback;
  }
  return value == 0 ? fallback : static_cast<uint32_t>(value);
}

bool PercentDecode(const std::string& text, std::string* decoded) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    c = Lower(c);
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
  };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    int high = i + 2 < text.size() ? hex(text[i + 1]) : -1;
    int low = high >= 0 ? hex(text[i + 2]) : -1;
    if (low < 0 || (high == 0 && low == 0)) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  decoded->swap(out);
  return true;
}

std::string RedactUrl(const char* url) {
  if (!url) return std::string();
  std::string text(url);
  size_t n = SchemeLength(url);
  if (n == 0) return text;
  size_t authorityEnd = text.find_first_of("/?#", n);
  if (authorityEnd == std::string::npos) authorityEnd = text.size();
  size_t at = text.rfind('@', authorityEnd - 1);
  if (at == std::string::npos || at < n) return text;
  size_t colon = text.find(':', n);
  if (colon == std::string::npos || colon > at) return text;
  return text.substr(0, colon + 1) + "***" + text.substr(at);
}

std::string TrimRight(const std::string& text) {
  size_t end = text.find_last_not_of(" \t\r\n");
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::string HttpStatusMessage(uint32_t status, const std::string& reason, const char* url) {
  std::string message = "HTTP " + std::to_string(status);
  std::string trimmed = TrimRight(reason);
  if (!trimmed.empty()) message += " " + trimmed;
  return message + " for " + RedactUrl(url);
}

}  // namespace tb::netfetch
