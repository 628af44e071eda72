#include "services/ordered_component_list.h"

#include <new>

namespace tb {

OrderedComponentList* OrderedComponentList::Create() noexcept {
  return new (std::nothrow) OrderedComponentList();
}

OrderedComponentList::~OrderedComponentList() {
  // Components go in list order, which is the order in which callers expect them to
  // be let go.
  for (com_ptr<IComponent>& item : items_) item.reset();
}

int32_t TB_STDCALL OrderedComponentList::GetCount() noexcept {
  return static_cast<int32_t>(items_.size());
}

bool TB_STDCALL OrderedComponentList::GetItem(int32_t index, IComponent** item) noexcept {
  if (!item || index < 0 || static_cast<size_t>(index) >= items_.size()) return false;
  items_[index].copy_to(item);
  return true;
}

bool OrderedComponentList::Append(IComponent* component) noexcept {
  if (!component) return true;
  try {
    items_.emplace_back(component);
  } catch (...) {
    return false;
  }
  return true;
}

bool OrderedComponentList::Reserve(size_t count) noexcept {
  try {
    items_.reserve(count);
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace tb
