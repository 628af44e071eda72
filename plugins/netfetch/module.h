// What keeps this library from being unloaded, counted in one place for
// ORVA_PLUGIN_ReadyToFinish.
#ifndef TB_PLUGINS_NETFETCH_MODULE_H
#define TB_PLUGINS_NETFETCH_MODULE_H

namespace netfetch {

/// One more thing that needs the library's code: a live error object, a reference to
/// a component beyond the first, a download in progress.
void Pin() noexcept;
void Unpin() noexcept;

/// True when nothing is pinned.
bool NothingPinned() noexcept;

/// Pins for the lifetime of a scope.
class ScopedPin {
 public:
  ScopedPin() noexcept { Pin(); }
  ~ScopedPin() { Unpin(); }
  ScopedPin(const ScopedPin&) = delete;
  ScopedPin& operator=(const ScopedPin&) = delete;
};

}  // namespace netfetch

#endif  // TB_PLUGINS_NETFETCH_MODULE_H
