// One loaded plug-in library and its two entry points.
#ifndef TB_CORE_PLUGIN_MODULE_H
#define TB_CORE_PLUGIN_MODULE_H

#include <tunebay/component.h>

#include <string>

#include "base/handles.h"

namespace tb {

class PluginModule {
 public:
  /// Takes ownership of `handle` (freed on destruction). With a non-empty path and a
  /// handle, looks both entry points up and sets the base name.
  PluginModule(const char* path, HMODULE handle);
  virtual ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  /// Asks the library for its primary audio object. False when the entry point is
  /// missing, returns false, or faults; `*out` then holds nothing to rely on (the
  /// plug-in may have written to it before failing) and is not to be released.
  bool CallGetPrimaryAudioObject(IComponent** out) noexcept;
  /// Asks the library whether it may be unloaded. False when the entry point is
  /// missing, answers false, or faults.
  bool CallReadyToFinish() noexcept;

  bool hasEntryPoints() const noexcept { return primaryEntry_ && readyEntry_; }
  /// The name of an entry point the library lacks (the first), or null.
  const char* missingEntryPoint() const noexcept;
  /// The exception code of the fault the last call raised; 0 when it raised none.
  unsigned long lastFault() const noexcept { return lastFault_; }
  const std::string& path() const noexcept { return path_; }
  const std::string& baseName() const noexcept { return baseName_; }
  HMODULE handle() const noexcept { return module_.get(); }

 private:
  std::string path_;
  std::string baseName_;
  unique_hmodule module_;
  FARPROC primaryEntry_ = nullptr;
  FARPROC readyEntry_ = nullptr;
  unsigned long lastFault_ = 0;
};

}  // namespace tb

#endif  // TB_CORE_PLUGIN_MODULE_H
