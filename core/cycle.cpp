// Placeholder until the plug-in scan and the initialise/finish cycle land.
#include "core/manager.h"
#include "core/plugin_module.h"

namespace tb {

PluginModule::PluginModule(const char*, HMODULE handle) : module_(handle) {}
PluginModule::~PluginModule() = default;
bool PluginModule::CallGetPrimaryAudioObject(IComponent**) noexcept { return false; }
bool PluginModule::CallReadyToFinish() noexcept { return false; }

bool TB_STDCALL Manager::Initialise() noexcept { return false; }
bool TB_STDCALL Manager::IsReadyToFinish() noexcept { return false; }
bool TB_STDCALL Manager::Finish() noexcept { return false; }

}  // namespace tb
