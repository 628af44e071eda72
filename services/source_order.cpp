#include "services/source_order.h"

#include <functional>
#include <string_view>
#include <utility>

namespace tb {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

std::size_t HashOf(const std::string& key) { return std::hash<std::string_view>()(key); }

}  // namespace

SourceOrderPlan PlanSourceOrder(const std::vector<std::string>& candidateKeys,
                                const std::vector<std::string>& storedKeys) {
  SourceOrderPlan plan;
  const std::size_t count = candidateKeys.size();
  plan.keep.assign(storedKeys.size(), true);
  if (count == 0) return plan;
  plan.order.reserve(count);

  // Candidates with equal keys form a chain in candidate order, and each chain's head
  // is its first untaken candidate. Taking a candidate only ever happens at a head, so
  // the head is exactly what the plain walk over all candidates would find for the
  // key. The chains are found through an open-addressed table of their first members
  // (kept at most half full), which needs no allocation per key.
  std::size_t capacity = 2;
  while (capacity < 2 * count) capacity *= 2;
  const std::size_t mask = capacity - 1;
  std::vector<std::size_t> table(capacity, kNone);
  std::vector<std::size_t> hashes(count), next(count, kNone), head(count), tail(count);

  auto slotOf = [&](const std::string& key, std::size_t hash) {
    std::size_t slot = hash & mask;
    while (table[slot] != kNone) {
      const std::size_t first = table[slot];
      if (hashes[first] == hash && candidateKeys[first] == key) break;
      slot = (slot + 1) & mask;
    }
    return slot;
  };

  for (std::size_t i = 0; i < count; ++i) {
    hashes[i] = HashOf(candidateKeys[i]);
    const std::size_t slot = slotOf(candidateKeys[i], hashes[i]);
    if (table[slot] == kNone) {
      table[slot] = i;
      head[i] = tail[i] = i;
    } else {
      const std::size_t first = table[slot];
      next[tail[first]] = i;
      tail[first] = i;
    }
  }

  std::vector<bool> taken(count, false);
  for (std::size_t k = 0; k < storedKeys.size(); ++k) {
    const std::size_t slot = slotOf(storedKeys[k], HashOf(storedKeys[k]));
    const std::size_t first = table[slot];
    const std::size_t candidate = first == kNone ? kNone : head[first];
    if (candidate == kNone) {
      plan.keep[k] = false;
      plan.pruned = true;
      continue;
    }
    head[first] = next[candidate];
    taken[candidate] = true;
    plan.order.push_back(candidate);
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (!taken[i]) plan.order.push_back(i);
  }
  return plan;
}

void DropPrunedKeys(std::vector<std::string>& storedKeys, const SourceOrderPlan& plan) noexcept {
  std::size_t kept = 0;
  for (std::size_t k = 0; k < storedKeys.size(); ++k) {
    if (k < plan.keep.size() && !plan.keep[k]) continue;
    if (kept != k) storedKeys[kept] = std::move(storedKeys[k]);
    ++kept;
  }
  storedKeys.resize(kept);
}

}  // namespace tb
