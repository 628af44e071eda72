#include "core/plugin_module.h"

#include "base/entry_call.h"
#include "core/module_names.h"

namespace tb {

PluginModule::PluginModule(const char* path, HMODULE handle) : module_(handle) {
  // If a copy below throws, module_ is destroyed with the half-built record and frees
  // the library, which is what the scan wants for a record it cannot create.
  if (!path || !*path || !handle) return;
  path_ = path;
  baseName_ = ModuleBaseName(path_);
  primaryEntry_ = GetProcAddress(handle, TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT);
  readyEntry_ = GetProcAddress(handle, TB_ENTRY_READY_TO_FINISH);
}

PluginModule::~PluginModule() = default;

const char* PluginModule::missingEntryPoint() const noexcept {
  if (!primaryEntry_) return TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT;
  if (!readyEntry_) return TB_ENTRY_READY_TO_FINISH;
  return nullptr;
}

// Both entry points are called through the stack-restoring guarded call: a plug-in
// may have declared them __stdcall, and anything it raises (an access violation, an
// exception of its own compiler) must end here as a false result.

bool PluginModule::CallGetPrimaryAudioObject(IComponent** out) noexcept {
  if (!primaryEntry_) return false;
  bool result = false;
  if (!GuardedBoolCall1(reinterpret_cast<const void*>(primaryEntry_), out, &result, &lastFault_)) {
    return false;
  }
  return result;
}

bool PluginModule::CallReadyToFinish() noexcept {
  if (!readyEntry_) return false;
  bool result = false;
  if (!GuardedBoolCall0(reinterpret_cast<const void*>(readyEntry_), &result, &lastFault_))
    return false;
  return result;
}

}  // namespace tb
