// The reference count of a source or sink object, and how it meets the library's
// proxies through ILifetime. Read this before writing a source or a sink.
//
// The object has ONE count. QueryInterface, AddRef and Release of every one of its
// interfaces act on it, and so do ILifetime's InnerQueryInterface, InnerAddRef and
// InnerRelease, which return the count after the change. Attach stores the proxy's
// interface without a reference and answers true; Detach forgets it.
//
// How the library's proxy uses this: it takes its own references by QueryInterface on
// the object (source object, control, data, position, lifetime, and sample query, tag
// info and seek when offered: 5 to 8 for a source; object, control, data and lifetime:
// 4 for a sink), then calls Attach. The host's reference (the one the decoder's Open or
// the encoder's factory handed out) becomes the host's reference to the proxy. The
// proxy's AddRef and Release go to InnerAddRef and InnerRelease, and when InnerRelease
// returns exactly the number of references the proxy holds, only the proxy is left: it
// destroys itself and releases those references through the object's own interfaces,
// which brings the count to 0 and destroys the object.
//
// So the object's own Release must never pass the call on to the outer object: the
// proxy's last releases would come back into the proxy while it is being destroyed.
// The stored outer pointer is there for an object that wants to hand out the proxy's
// interface (none of the reference plug-ins does); it is never released.
#ifndef TB_PLUGINS_COMMON_SHARED_COUNT_H
#define TB_PLUGINS_COMMON_SHARED_COUNT_H

#include <tunebay/source.h>
#include <unknwn.h>
#include <windows.h>

#include "base/com.h"

namespace tb::plugin {

/// The object's one count (Add for AddRef and InnerAddRef, Drop for Release and
/// InnerRelease) and the outer object it is attached to.
class SharedCount : public InterlockedCount {
 public:
  /// ILifetime::Attach. One outer object at a time: a second proxy around an object
  /// that is already wrapped would count the first one's references as its own, so it
  /// is refused (false) until Detach. Attaching the same outer again is harmless.
  bool Attach(IUnknown* outer) noexcept {
    if (!outer) return false;
    if (outer_ && outer_ != outer) return false;
    outer_ = outer;
    return true;
  }
  /// ILifetime::Detach: true when an outer object was attached.
  bool Detach() noexcept {
    const bool was = outer_ != nullptr;
    outer_ = nullptr;
    return was;
  }
  IUnknown* outer() const noexcept { return outer_; }

 private:
  IUnknown* outer_ = nullptr;  // not counted
};

/// A source or sink object: implements<> on a SharedCount, with ILifetime answered
/// from that count. `Faces` are the object's other interfaces, the first of them the one
/// the base identifier yields.
template <class Derived, class... Faces>
class SharedObject : public implements_with<Derived, SharedCount, Faces..., ILifetime> {
 public:
  bool TB_STDCALL Attach(IUnknown* outer) noexcept override { return this->count_.Attach(outer); }
  bool TB_STDCALL Detach() noexcept override { return this->count_.Detach(); }
  HRESULT TB_STDCALL InnerQueryInterface(REFIID iid, void** out) noexcept override {
    return this->QueryInterface(iid, out);
  }
  ULONG TB_STDCALL InnerAddRef() noexcept override { return this->AddRef(); }
  ULONG TB_STDCALL InnerRelease() noexcept override { return this->Release(); }
};

}  // namespace tb::plugin

#endif  // TB_PLUGINS_COMMON_SHARED_COUNT_H
