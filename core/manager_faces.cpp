// The faces of core's own state: the catalogue as a collection, component origins, the
// registry key names and the module location. The scan and the initialise/finish cycle
// read what these set, so they live with them.
#include "base/text.h"
#include "core/error_object.h"
#include "core/manager.h"

namespace tb {

// IComponentCollection: the catalogue.

int32_t TB_STDCALL Manager::GetCount() noexcept { return static_cast<int32_t>(catalogue_.size()); }

bool TB_STDCALL Manager::GetItem(int32_t index, IComponent** item) noexcept {
  // Hosts have long been told to stay in range; one that does not gets false rather
  // than a read past the catalogue.
  if (!item || index < 0 || static_cast<size_t>(index) >= catalogue_.size()) return false;
  catalogue_[index].copy_to(item);
  return *item != nullptr;
}

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

// IModuleLocation.

bool TB_STDCALL Manager::UseHostModuleFolder(int32_t mode) noexcept {
  if (mode != 0) return false;
  useHostModuleFolder_ = true;
  return true;
}

}  // namespace tb
