// The manager's settings dialog. The dialogs are not built yet: the operation
// reports that nothing was shown.
#include "core/manager.h"

namespace tb {

bool TB_STDCALL Manager::ShowSettingsDialog() noexcept { return false; }

}  // namespace tb
