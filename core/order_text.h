// The stored form of the decoder order: component keys joined by "?".
#ifndef TB_CORE_ORDER_TEXT_H
#define TB_CORE_ORDER_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

/// Separates the keys in the stored order text. Component keys never contain it.
constexpr char kOrderSeparator = '?';

/// Splits a stored order text at every separator into its non-empty pieces, in order.
/// Leading, trailing and repeated separators therefore yield no empty keys, and the
/// empty text yields an empty list.
std::vector<std::string> SplitOrderText(std::string_view text);

/// Joins keys with one separator between neighbours and none before the first or
/// after the last; an empty list gives the empty text.
///
/// When `limit` is given, the text is kept within that many characters by leaving off
/// whole keys from the end of the list (the least preferred ones): a stored order that
/// is too long to be read back would otherwise be lost entirely. Keys left off simply
/// fall back to catalogue order the next time the order is applied.
std::string JoinOrderText(const std::vector<std::string>& keys,
                          std::size_t limit = std::string::npos);

}  // namespace tb

#endif  // TB_CORE_ORDER_TEXT_H
