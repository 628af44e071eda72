// Applying the user's stored decoder order to the decoders that are present.
#ifndef TB_SERVICES_SOURCE_ORDER_H
#define TB_SERVICES_SOURCE_ORDER_H

#include <cstddef>
#include <string>
#include <vector>

namespace tb {

/// The outcome of applying a stored order to a set of candidates.
struct SourceOrderPlan {
  /// Candidate indexes in list order: the matched ones in stored-key order, then every
  /// other candidate in its own order. Each candidate appears exactly once.
  std::vector<std::size_t> order;
  /// One flag per stored key: false for a key that matched no candidate and is to be
  /// dropped from the stored order.
  std::vector<bool> keep;
  /// Whether any flag in `keep` is false.
  bool pruned = false;
};

/// Walks the stored keys in order; each takes the first candidate not yet taken whose
/// key equals it byte for byte, and a key that finds none is marked for removal. With
/// no candidates at all nothing is marked: an empty catalogue says nothing about which
/// decoders the user still has.
///
/// The result is exactly that of the plain walk over the candidates for every stored
/// key, but candidates with equal keys are chained behind one hash table entry, so the
/// whole plan costs one lookup per key instead of a scan of the candidates per key.
SourceOrderPlan PlanSourceOrder(const std::vector<std::string>& candidateKeys,
                                const std::vector<std::string>& storedKeys);

/// Removes from `storedKeys` the keys that `plan` marks for removal, keeping the order
/// of the rest. Moves strings in place, so it cannot fail.
void DropPrunedKeys(std::vector<std::string>& storedKeys, const SourceOrderPlan& plan) noexcept;

}  // namespace tb

#endif  // TB_SERVICES_SOURCE_ORDER_H
