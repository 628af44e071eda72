#include "dll/assembly.h"

#include "nls/language_list.h"
#include "services/manager_services.h"
#include "sources/manager_sources.h"
#include "ui/show_settings.h"

namespace tb {

// Each layer adds its parts after those of the layers below it, so that a higher layer
// may supply a face that a lower one only stands in for (Manager::SetFace).
bool AssembleManager(Manager& manager) noexcept {
  return AddServiceParts(manager) && AddSourceParts(manager) && AddLanguageParts(manager) &&
         AddUiParts(manager);
}

bool GetAssembledManager(IManager** out) noexcept {
  return Manager::GetInstance(out, &AssembleManager);
}

}  // namespace tb
