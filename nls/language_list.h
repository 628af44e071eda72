// ILanguageList, the face of the manager that lists the dialogs' languages.
#ifndef TB_NLS_LANGUAGE_LIST_H
#define TB_NLS_LANGUAGE_LIST_H

#include "core/manager.h"

namespace tb {

/// Adds the localisation part to a new manager and enters its face (Manager::Assembly).
bool AddLanguageParts(Manager& manager) noexcept;

}  // namespace tb

#endif  // TB_NLS_LANGUAGE_LIST_H
