// Process-wide state: the global lock, the count of living proxies and the library's
// own module.
#ifndef TB_CORE_GLOBALS_H
#define TB_CORE_GLOBALS_H

#include <windows.h>

#include "base/lock.h"

namespace tb {

/// Guards the singleton pointer, Initialise, Finish, the plug-in scan, the readiness
/// check and unloading. Recursive; created when the library is loaded.
RecursiveLock& GlobalLock() noexcept;

/// Number of living source and sink proxies; while it is not 0 the plug-ins stay
/// loaded.
LONG LiveProxyCount() noexcept;
void IncrementLiveProxyCount() noexcept;
void DecrementLiveProxyCount() noexcept;

/// The module that holds this code and its resources: tunebay.dll, or the program
/// when the library is linked into it statically (as the tests do).
HMODULE LibraryModule() noexcept;

}  // namespace tb

#endif  // TB_CORE_GLOBALS_H
