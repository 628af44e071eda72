#include "base/lazy_import.h"

namespace tb {
namespace lazy {

void* Bind(const wchar_t* dll, const char* name) noexcept {
  // Pinned: the bound slots would point into it after an unload, and these DLLs do not
  // give back everything they set up when they go.
  const HMODULE module = LoadLibraryW(dll);
  HMODULE pinned = nullptr;
  if (module) GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, dll, &pinned);
  void* function = module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
  if (!function) RaiseException(kLazyImportFailed, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  return function;
}

}  // namespace lazy
}  // namespace tb
