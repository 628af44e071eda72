// The snapshot of components that GetOrderedComponents hands out: a small counted
// object of its own, walked through the same IComponentCollection as the catalogue.
#ifndef TB_SERVICES_ORDERED_COMPONENT_LIST_H
#define TB_SERVICES_ORDERED_COMPONENT_LIST_H

#include <tunebay/component.h>

#include <vector>

#include "base/com.h"

namespace tb {

class OrderedComponentList final : public implements<OrderedComponentList, IComponentCollection> {
 public:
  /// A new empty list holding one reference for the caller, or null when out of memory.
  static OrderedComponentList* Create() noexcept;

  int32_t TB_STDCALL GetCount() noexcept override;
  /// Unlike the catalogue's, this one checks its index: the list goes to hosts and
  /// dialogs that may walk it carelessly.
  bool TB_STDCALL GetItem(int32_t index, IComponent** item) noexcept override;

  /// Adds `component` at the end with a reference of the list's own; null is ignored.
  /// Used only while the list is being filled, before anyone else sees it. False when
  /// out of memory, the list then unchanged.
  bool Append(IComponent* component) noexcept;
  /// Makes room for `count` items in all, so that as many Appends need no allocation.
  /// False when out of memory.
  bool Reserve(size_t count) noexcept;

 private:
  OrderedComponentList() = default;
  ~OrderedComponentList();
  friend struct object_access;

  std::vector<com_ptr<IComponent>> items_;
};

}  // namespace tb

#endif  // TB_SERVICES_ORDERED_COMPONENT_LIST_H
