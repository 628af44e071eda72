// ILanguageList, the face of the manager that lists the dialogs' languages.
#ifndef TB_NLS_LANGUAGE_LIST_H
#define TB_NLS_LANGUAGE_LIST_H

#include "core/manager_faces.h"

namespace tb {

/// The faces that the localisation layer adds to a manager; a ManagerFacesFactory.
ManagerFaces* MakeLanguageFaces(Manager& manager) noexcept;

}  // namespace tb

#endif  // TB_NLS_LANGUAGE_LIST_H
