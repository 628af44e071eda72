// The manager's secondary interfaces: the catalogue as a collection, the language,
// the registry key names, the host's values, component origins, the decoder order
// and the module location.
#include <cstring>
#include <unordered_map>

#include "core/error_object.h"
#include "core/manager.h"
#include "services/component_key.h"
#include "services/ordered_component_list.h"
#include "services/source_order.h"

namespace tb {

namespace {

// Stores a host's text; null counts as empty. False only when out of memory, the old
// text then kept.
bool StoreText(std::string& target, const char* text) noexcept {
  try {
    target = text ? text : "";
  } catch (...) {
    return false;
  }
  return true;
}

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

// IComponentCollection: the catalogue.

int32_t TB_STDCALL Manager::GetCount() noexcept { return static_cast<int32_t>(catalogue_.size()); }

bool TB_STDCALL Manager::GetItem(int32_t index, IComponent** item) noexcept {
  // Hosts have long been told to stay in range; one that does not gets false rather
  // than a read past the catalogue.
  if (!item || index < 0 || static_cast<size_t>(index) >= catalogue_.size()) return false;
  catalogue_[index].copy_to(item);
  return *item != nullptr;
}

// ILanguageSetting.

bool TB_STDCALL Manager::SetLanguage(uint16_t language) noexcept {
  language_ = language;
  Notify(kEventLanguage, primary());
  return true;
}

uint16_t TB_STDCALL Manager::GetLanguage() noexcept { return language_; }

// IRegistryLocation. The names choose where Initialise reads the settings, so they
// are fixed once the settings have been read.

bool TB_STDCALL Manager::SetKeyName1(const char* name, IError** error) noexcept {
  if (initCount_ != 0) {
    ReportError(error, result::WrongCall);
    return false;
  }
  if (!StoreText(keyName1_, name)) {
    ReportError(error, result::Failure);
    return false;
  }
  return true;
}

const char* TB_STDCALL Manager::GetKeyName1() noexcept { return keyName1_.c_str(); }

bool TB_STDCALL Manager::SetKeyName2(const char* name, IError** error) noexcept {
  if (initCount_ != 0) {
    ReportError(error, result::WrongCall);
    return false;
  }
  if (!StoreText(keyName2_, name)) {
    ReportError(error, result::Failure);
    return false;
  }
  return true;
}

const char* TB_STDCALL Manager::GetKeyName2() noexcept { return keyName2_.c_str(); }

// IHostSettings. Listeners read the new value back from inside the event, so it is
// stored before the event goes out; the event goes out also when nothing changed.

bool TB_STDCALL Manager::SetHostText1(const char* text) noexcept {
  if (!StoreText(hostText1_, text)) return false;
  Notify(kEventHostText1, primary());
  return true;
}

const char* TB_STDCALL Manager::GetHostText1() noexcept { return hostText1_.c_str(); }

bool TB_STDCALL Manager::SetHostNumber(int32_t value) noexcept {
  hostNumber_ = value;
  Notify(kEventHostNumber, primary());
  return true;
}

int32_t TB_STDCALL Manager::GetHostNumber() noexcept { return hostNumber_; }

bool TB_STDCALL Manager::SetHostText2(const char* text) noexcept {
  if (!StoreText(hostText2_, text)) return false;
  Notify(kEventHostText2, primary());
  return true;
}

const char* TB_STDCALL Manager::GetHostText2() noexcept { return hostText2_.c_str(); }

// IComponentOrigin.

bool TB_STDCALL Manager::GetComponentOrigin(IComponent* component, ComponentOrigin* out) noexcept {
  if (!out) return false;
  // Pointer identity, first match: a component listed twice reports its first origin.
  for (size_t i = 0; i < catalogue_.size() && i < origins_.size(); ++i) {
    if (catalogue_[i].get() == component) {
      *out = origins_[i];
      return true;
    }
  }
  return false;
}

// Component keys.

std::string Manager::ComponentKey(IComponent* component) {
  std::string key;
  if (component && IdentityKeyOf(component, key)) return key;
  ComponentOrigin origin;
  return OriginKeyOf(GetComponentOrigin(component, &origin) ? &origin : nullptr);
}

std::vector<std::string> Manager::ComponentKeys(IComponent* const* components, size_t count) {
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
      firstPosition.reserve(catalogue_.size());
      for (size_t i = 0; i < catalogue_.size(); ++i) firstPosition.emplace(catalogue_[i].get(), i);
      indexed = true;
    }
    const ComponentOrigin* origin = nullptr;
    auto found = component ? firstPosition.find(component) : firstPosition.end();
    if (found != firstPosition.end() && found->second < origins_.size()) {
      origin = &origins_[found->second];
    }
    keys.push_back(OriginKeyOf(origin));
  }
  return keys;
}

// ISourceOrder.

bool TB_STDCALL Manager::SetSourceOrder(IComponent** components, int32_t count) noexcept {
  if (!components || count <= 0) return false;
  for (int32_t i = 0; i < count; ++i) {
    if (!components[i]) return false;
  }
  try {
    std::vector<std::string> keys = ComponentKeys(components, static_cast<size_t>(count));
    sourceOrder_.swap(keys);
  } catch (...) {
    return false;
  }
  return true;
}

bool TB_STDCALL Manager::GetOrderedComponents(int32_t kind, IComponentCollection** list) noexcept {
  if (!list || kind != kKindDecoder) return false;
  com_ptr<OrderedComponentList> ordered =
      com_ptr<OrderedComponentList>::adopt(OrderedComponentList::Create());
  if (!ordered) return false;
  try {
    // Our own references, so that nothing a decoder does while answering can pull a
    // candidate away mid-walk.
    std::vector<com_ptr<IComponent>> candidates;
    candidates.reserve(catalogue_.size());
    for (size_t i = 0; i < catalogue_.size(); ++i) {
      com_ptr<IComponent> component = catalogue_[i];
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
      const SourceOrderPlan plan = PlanSourceOrder(keys, sourceOrder_);
      if (!ordered->Reserve(plan.order.size())) return false;
      for (size_t index : plan.order) {
        if (!ordered->Append(candidates[index].get())) return false;
      }
      // Keys of decoders that are gone leave the stored order; Finish stores the rest.
      // Done last and unable to fail, so a failure above loses no key.
      if (plan.pruned) DropPrunedKeys(sourceOrder_, plan);
    }
  } catch (...) {
    return false;
  }
  *list = ordered.detach();
  return true;
}

// IModuleLocation.

bool TB_STDCALL Manager::UseHostModuleFolder(int32_t mode) noexcept {
  if (mode != 0) return false;
  useHostModuleFolder_ = true;
  return true;
}

// IClientValue.

void TB_STDCALL Manager::SetClientValue(int32_t value) noexcept { clientValue_ = value; }

int32_t TB_STDCALL Manager::GetClientValue() noexcept { return clientValue_; }

}  // namespace tb
