// What keeps a reference plug-in library from being unloaded, counted in one place.
//
// ORVA_PLUGIN_ReadyToFinish answers true only when no object whose code lives in the
// library can still be called: no source, sink, conversion or error object, and no
// component reference beyond the one the manager's catalogue holds. The manager lets
// go of its catalogue references only after the library said it is ready, and it drops
// the convertor and downloader references it keeps for itself before it asks, so a
// component's own first reference never counts.
//
// This code is linked statically into each plug-in library, so each library has its
// own count.
#ifndef TB_PLUGINS_COMMON_LIVE_OBJECTS_H
#define TB_PLUGINS_COMMON_LIVE_OBJECTS_H

#include <windows.h>

namespace tb::plugin {

void AddLiveObject() noexcept;
void RemoveLiveObject() noexcept;
/// The number of objects that keep the library loaded.
LONG LiveObjectCount() noexcept;
/// True when nothing keeps the library loaded: the answer of ORVA_PLUGIN_ReadyToFinish.
inline bool NoLiveObjects() noexcept { return LiveObjectCount() == 0; }

/// A member that counts its owner as live for exactly the owner's lifetime.
class LiveObject {
 public:
  LiveObject() noexcept { AddLiveObject(); }
  ~LiveObject() { RemoveLiveObject(); }
  LiveObject(const LiveObject&) = delete;
  LiveObject& operator=(const LiveObject&) = delete;
};

/// The reference count of a component. The first reference is the catalogue's and does
/// not keep the library loaded; every reference beyond it does (a host that still holds
/// a component must not see its code unloaded).
class ComponentCount {
 public:
  ComponentCount() noexcept = default;
  ComponentCount(const ComponentCount&) = delete;
  ComponentCount& operator=(const ComponentCount&) = delete;

  /// The count after the change.
  ULONG Add() noexcept {
    const LONG n = InterlockedIncrement(&refs_);
    if (n == 2) AddLiveObject();
    return static_cast<ULONG>(n);
  }
  /// The count after the change; the owner destroys itself at 0.
  ULONG Drop() noexcept {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 1) RemoveLiveObject();
    return static_cast<ULONG>(n);
  }

 private:
  LONG refs_ = 1;
};

}  // namespace tb::plugin

#endif  // TB_PLUGINS_COMMON_LIVE_OBJECTS_H
