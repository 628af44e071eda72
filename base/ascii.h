// ASCII letter case for the names the library compares: plug-in file names, URL
// schemes, extensions. Deliberately not the locale's: in a multibyte code page a byte
// above 0x7F is never a whole character, so only A-Z and a-z fold. Free of windows.h.
#ifndef TB_BASE_ASCII_H
#define TB_BASE_ASCII_H

#include <cstddef>
#include <string_view>

namespace tb {

constexpr char LowerAscii(char c) noexcept {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool IsAsciiLetter(char c) noexcept {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

/// Whether `a` and `b` are equal but for ASCII letter case.
inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

/// Whether `text` begins with `prefix` but for ASCII letter case.
inline bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) noexcept {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace tb

#endif  // TB_BASE_ASCII_H
