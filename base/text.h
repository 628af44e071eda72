// Texts that hosts hand in, stored without letting an exception out.
#ifndef TB_BASE_TEXT_H
#define TB_BASE_TEXT_H

#include <string>

namespace tb {

/// Stores a host's text; null counts as empty. False only when out of memory, the old
/// text then kept.
inline bool StoreText(std::string& target, const char* text) noexcept {
  try {
    target = text ? text : "";
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace tb

#endif  // TB_BASE_TEXT_H
