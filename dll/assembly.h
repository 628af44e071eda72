// Where the layers meet: the function that makes a new manager whole. tunebay.dll's
// GetTunebay hands out the manager assembled here, and so do the tests and benches that
// drive the library as a host sees it.
#ifndef TB_DLL_ASSEMBLY_H
#define TB_DLL_ASSEMBLY_H

#include "core/manager.h"

namespace tb {

/// Adds every layer's part, in layer order (Manager::Assembly).
bool AssembleManager(Manager& manager) noexcept;

/// The process's manager, assembled: GetTunebay's answer.
bool GetAssembledManager(IManager** out) noexcept;

}  // namespace tb

#endif  // TB_DLL_ASSEMBLY_H
