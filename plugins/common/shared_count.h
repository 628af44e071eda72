// The reference count of a source or sink object, and how it meets the library's
// proxies through ILifetime: classic COM aggregation. Read this before writing a source
// or a sink.
//
// The object has ONE count. Before Attach, QueryInterface, AddRef and Release of every
// one of its interfaces act on it. Attach(outer) stores the proxy's interface without a
// reference; from then on those three operations of every interface (ILifetime's own
// included) go to the outer object, and only InnerQueryInterface, InnerAddRef and
// InnerRelease still act on the object's own count. Detach forgets the outer object.
//
// How the library's proxy uses this: it takes its own references by QueryInterface on
// the object before it attaches (source object, control, data, position, lifetime, and
// sample query, tag info and seek when offered: 5 to 8 for a source; object, control,
// data and lifetime: 4 for a sink), then calls Attach. The host's reference (the one the
// decoder's Open or the encoder's factory handed out) becomes the host's reference to
// the proxy. The proxy's AddRef and Release go to InnerAddRef and InnerRelease, and when
// InnerRelease returns exactly the number of references the proxy holds, only the proxy
// is left: it destroys itself and gives those references up, which brings the count to
// 0 and destroys the object.
//
// Why forward: an interface that the host obtained through the proxy (IFileInfo, say)
// and releases after the proxy must still end the proxy's life. Its Release reaches the
// proxy's Release, which sees the count fall to the proxy's own references. An object
// that does not forward works too, as long as its host releases such interfaces before
// the proxy.
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
/// from that count and the IUnknown entries forwarded to the outer object while one is
/// attached. `Faces` are the object's other interfaces, the first of them the one the
/// base identifier yields.
template <class Derived, class... Faces>
class SharedObject : public implements_with<Derived, SharedCount, Faces..., ILifetime> {
  using Own = implements_with<Derived, SharedCount, Faces..., ILifetime>;

 public:
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    if (IUnknown* outer = this->count_.outer()) return outer->QueryInterface(iid, out);
    return Own::QueryInterface(iid, out);
  }
  ULONG TB_STDCALL AddRef() noexcept override {
    if (IUnknown* outer = this->count_.outer()) return outer->AddRef();
    return Own::AddRef();
  }
  // The outer object's Release may end this object (through InnerRelease) before it
  // returns, so nothing of this object is touched after the call.
  ULONG TB_STDCALL Release() noexcept override {
    if (IUnknown* outer = this->count_.outer()) return outer->Release();
    return Own::Release();
  }

  bool TB_STDCALL Attach(IUnknown* outer) noexcept override { return this->count_.Attach(outer); }
  bool TB_STDCALL Detach() noexcept override { return this->count_.Detach(); }
  HRESULT TB_STDCALL InnerQueryInterface(REFIID iid, void** out) noexcept override {
    return Own::QueryInterface(iid, out);
  }
  ULONG TB_STDCALL InnerAddRef() noexcept override { return this->count_.Add(); }
  ULONG TB_STDCALL InnerRelease() noexcept override { return Own::Release(); }
};

}  // namespace tb::plugin

#endif  // TB_PLUGINS_COMMON_SHARED_COUNT_H
