#include "core/order_text.h"

namespace tb {

std::vector<std::string> SplitOrderText(std::string_view text) {
  std::vector<std::string> keys;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(kOrderSeparator, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) keys.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return keys;
}

std::string JoinOrderText(const std::vector<std::string>& keys, std::size_t limit) {
  std::string text;
  for (const std::string& key : keys) {
    // An empty key would vanish when read back and shift nothing; leave it out now.
    if (key.empty()) continue;
    const std::size_t grown = text.size() + (text.empty() ? 0 : 1) + key.size();
    if (grown > limit) break;
    if (!text.empty()) text += kOrderSeparator;
    text += key;
  }
  return text;
}

}  // namespace tb
