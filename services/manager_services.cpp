// The services part of the manager: the language, the host's values, the decoder
// order and the client value.
#include "services/manager_services.h"

#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

#include "base/text.h"
#include "services/component_key.h"
#include "services/ordered_component_list.h"
#include "services/source_order.h"

namespace tb {

namespace {

// The key a component gives through IComponentIdentity. A component that offers the
// interface but cannot say its identifier is keyed by its origin instead, like one
// without the interface: a key made from a failed call's leftovers would change from
// one session to the next and never match again.
bool IdentityKeyOf(IComponent* component, std::string& key) {
  com_ptr<IComponentIdentity> identity;
  if (FAILED(component->QueryInterface(iid_of<IComponentIdentity>(), identity.put_void()))) {
    identity.detach();  // a failed query's slot is not ours to release
    return false;
  }
  if (!identity) return false;
  GUID id{};
  if (!identity->GetClassId(&id)) return false;
  key = IdentityKey(reinterpret_cast<const unsigned char*>(&id));
  return true;
}

// "<module>*<index>" from an origin record, or "*0" without one. The name field is
// read only up to its size, whoever filled it.
std::string OriginKeyOf(const ComponentOrigin* origin) {
  if (!origin) return OriginKey("", 0);
  const std::string name(origin->moduleFileName,
                         strnlen(origin->moduleFileName, sizeof origin->moduleFileName));
  return OriginKey(name.c_str(), origin->index);
}

}  // namespace

ManagerServices::ManagerServices(Manager& manager) noexcept
    : outer_counted(manager.primary()), manager_(manager) {}

// ILanguageSetting.

bool TB_STDCALL ManagerServices::SetLanguage(uint16_t language) noexcept {
  language_ = language;
  manager_.Notify(kEventLanguage, manager_.primary());
  return true;
}

uint16_t TB_STDCALL ManagerServices::GetLanguage() noexcept { return language_; }

// IHostSettings. Listeners read the new value back from inside the event, so it is
// stored before the event goes out; the event goes out also when nothing changed.

bool TB_STDCALL ManagerServices::SetHostText1(const char* text) noexcept {
  if (!StoreText(hostText1_, text)) return false;
  manager_.Notify(kEventHostText1, manager_.primary());
  return true;
}

const char* TB_STDCALL ManagerServices::GetHostText1() noexcept { return hostText1_.c_str(); }

bool TB_STDCALL ManagerServices::SetHostNumber(int32_t value) noexcept {
  hostNumber_ = value;
  manager_.Notify(kEventHostNumber, manager_.primary());
  return true;
}

int32_t TB_STDCALL ManagerServices::GetHostNumber() noexcept { return hostNumber_; }

bool TB_STDCALL ManagerServices::SetHostText2(const char* text) noexcept {
  if (!StoreText(hostText2_, text)) return false;
  manager_.Notify(kEventHostText2, manager_.primary());
  return true;
}

const char* TB_STDCALL ManagerServices::GetHostText2() noexcept { return hostText2_.c_str(); }

// Component keys.

std::string ManagerServices::ComponentKey(IComponent* component) {
  std::string key;
  if (component && IdentityKeyOf(component, key)) return key;
  ComponentOrigin origin;
  return OriginKeyOf(manager_.GetComponentOrigin(component, &origin) ? &origin : nullptr);
}

std::vector<std::string> ManagerServices::ComponentKeys(IComponent* const* components,
                                                        size_t count) {
  std::vector<std::string> keys;
  keys.reserve(count);
  // First catalogue position of each component, built only when some component has
  // no identity, so that each origin costs one lookup and not a catalogue scan.
  std::unordered_map<IComponent*, size_t> firstPosition;
  bool indexed = false;
  for (size_t c = 0; c < count; ++c) {
    IComponent* component = components[c];
    std::string key;
    if (component && IdentityKeyOf(component, key)) {
      keys.push_back(std::move(key));
      continue;
    }
    if (!indexed) {
      firstPosition.reserve(manager_.catalogue().size());
      for (size_t i = 0; i < manager_.catalogue().size(); ++i)
        firstPosition.emplace(manager_.catalogue()[i].get(), i);
      indexed = true;
    }
    const ComponentOrigin* origin = nullptr;
    auto found = component ? firstPosition.find(component) : firstPosition.end();
    if (found != firstPosition.end() && found->second < manager_.origins().size()) {
      origin = &manager_.origins()[found->second];
    }
    keys.push_back(OriginKeyOf(origin));
  }
  return keys;
}

// ISourceOrder.

bool TB_STDCALL ManagerServices::SetSourceOrder(IComponent** components, int32_t count) noexcept {
  if (!components || count <= 0) return false;
  for (int32_t i = 0; i < count; ++i) {
    if (!components[i]) return false;
  }
  try {
    std::vector<std::string> keys = ComponentKeys(components, static_cast<size_t>(count));
    manager_.sourceOrder().swap(keys);
  } catch (...) {
    return false;
  }
  return true;
}

bool TB_STDCALL ManagerServices::GetOrderedComponents(int32_t kind,
                                                      IComponentCollection** list) noexcept {
  if (!list || kind != kKindDecoder) return false;
  com_ptr<OrderedComponentList> ordered =
      com_ptr<OrderedComponentList>::adopt(OrderedComponentList::Create());
  if (!ordered) return false;
  try {
    // Our own references, so that nothing a decoder does while answering can pull a
    // candidate away mid-walk.
    std::vector<com_ptr<IComponent>> candidates;
    candidates.reserve(manager_.catalogue().size());
    for (size_t i = 0; i < manager_.catalogue().size(); ++i) {
      com_ptr<IComponent> component = manager_.catalogue()[i];
      if (component && component->GetKind() == kKindDecoder) {
        candidates.push_back(std::move(component));
      }
    }
    if (!candidates.empty()) {
      // Each key once per call: a key may cost a call into the plug-in and formatting,
      // and the plan then needs only lookups.
      std::vector<IComponent*> raw;
      raw.reserve(candidates.size());
      for (const com_ptr<IComponent>& candidate : candidates) raw.push_back(candidate.get());
      const std::vector<std::string> keys = ComponentKeys(raw.data(), raw.size());
      const SourceOrderPlan plan = PlanSourceOrder(keys, manager_.sourceOrder());
      if (!ordered->Reserve(plan.order.size())) return false;
      for (size_t index : plan.order) {
        if (!ordered->Append(candidates[index].get())) return false;
      }
      // Keys of decoders that are gone leave the stored order; Finish stores the rest.
      // Done last and unable to fail, so a failure above loses no key.
      if (plan.pruned) DropPrunedKeys(manager_.sourceOrder(), plan);
    }
  } catch (...) {
    return false;
  }
  *list = ordered.detach();
  return true;
}

// IClientValue.

void TB_STDCALL ManagerServices::SetClientValue(int32_t value) noexcept { clientValue_ = value; }

int32_t TB_STDCALL ManagerServices::GetClientValue() noexcept { return clientValue_; }

// ISettingsDialog.

bool TB_STDCALL ManagerServices::ShowSettingsDialog() noexcept { return false; }

bool AddServiceParts(Manager& manager) noexcept {
  ManagerServices* services = new (std::nothrow) ManagerServices(manager);
  if (!services || !manager.AddPart(std::unique_ptr<ManagerPart>(services))) return false;
  return manager.SetFace(iid_of<ILanguageSetting>(), static_cast<ILanguageSetting*>(services)) &&
         manager.SetFace(iid_of<IHostSettings>(), static_cast<IHostSettings*>(services)) &&
         manager.SetFace(iid_of<ISettingsDialog>(), static_cast<ISettingsDialog*>(services)) &&
         manager.SetFace(iid_of<ISourceOrder>(), static_cast<ISourceOrder*>(services)) &&
         manager.SetFace(iid_of<IClientValue>(), static_cast<IClientValue*>(services));
}

}  // namespace tb
