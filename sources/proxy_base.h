// What the source and sink proxies share: the control face and the IUnknown entries of
// every face, and the lifetime on the wrapped object's inner count.
//
// A proxy has no reference count of its own. Its AddRef and Release go to the wrapped
// object's InnerAddRef and InnerRelease (ILifetime), and it destroys itself when
// InnerRelease leaves exactly the references the proxy itself holds on the object.
// This is the one place that rule lives; each proxy keeps only its own faces and work.
#ifndef TB_SOURCES_PROXY_BASE_H
#define TB_SOURCES_PROXY_BASE_H

#include <tunebay/manager.h>

#include "base/com.h"
#include "base/forward_thunk.h"
#include "core/manager.h"

namespace tb {

class ProxyBase {
 public:
  /// An interface pointer handed out: the table, the forwarding target of its thunks
  /// (when it has any) and the proxy it belongs to.
  using Face = ForwardFace<void, ProxyBase>;
  using QueryFn = HRESULT(TB_STDCALL*)(Face*, REFIID, void**);
  using CountFn = ULONG(TB_STDCALL*)(Face*);

  /// The IUnknown entries of every table of a proxy.
  static HRESULT TB_STDCALL FaceQueryInterface(Face* face, REFIID iid, void** out) noexcept;
  static ULONG TB_STDCALL FaceAddRef(Face* face) noexcept;
  static ULONG TB_STDCALL FaceRelease(Face* face) noexcept;

  ProxyBase(const ProxyBase&) = delete;
  ProxyBase& operator=(const ProxyBase&) = delete;

  /// Wraps the object in `*slot` in `proxy` (which may be null: out of memory). On
  /// success `*slot` holds the proxy's primary interface, and the reference the slot
  /// held has become the host's reference to the proxy. On failure the proxy has been
  /// destroyed and `*slot` is untouched and still the caller's.
  static bool Wrap(IUnknown** slot, ProxyBase* proxy) noexcept;

 protected:
  explicit ProxyBase(Manager& manager) noexcept;
  /// Gives up the references every proxy holds, then lets the live-proxy count fall:
  /// until then a Finish on another thread must not unload the code these releases
  /// run in. A derived destructor releases its own references first.
  virtual ~ProxyBase();

  /// Takes the references of the object that every proxy needs; false when the object
  /// lacks ISourceControl or ILifetime.
  bool TakeObject(IUnknown* object) noexcept;
  /// Attaches to the object once the derived proxy holds all its references on it
  /// (`ownReferences` in all); after that the object counts through this proxy.
  bool AttachTo(ULONG ownReferences) noexcept;
  /// From now on the proxy is the host's, and its last Release destroys it.
  void MarkReady() noexcept { ready_ = true; }

  /// Builds the proxy around `object`; false leaves it to be destroyed.
  virtual bool Build(IUnknown* object) noexcept = 0;
  /// The derived proxy's face for `iid` (the base identifier included), or null.
  virtual Face* FaceFor(REFIID iid) noexcept = 0;
  virtual bool Start(int32_t argument) noexcept = 0;
  virtual bool Stop(int32_t argument) noexcept = 0;

  /// Undoes a Start that succeeded at the object but failed after: the conversion goes
  /// (with whatever a failed CreateConversion left in the slot) and the object is
  /// stopped again. Always false, the Start's answer.
  bool AbandonStart(int32_t argument) noexcept;
  /// Stops the object; once it has stopped, the conversion of that start goes.
  bool StopObject(int32_t argument) noexcept;

  IUnknown* primary() noexcept { return controlFace_.as<IUnknown>(); }

  Manager& owner_;  // the manager, for its convertor and settings
  com_ptr<IUnknown> object_;
  com_ptr<ISourceControl> control_;
  /// The conversion between the host's format and the object's, for one start.
  com_ptr<IConversion> conversion_;

 private:
  static bool TB_STDCALL FaceStart(Face* face, int32_t argument) noexcept;
  static bool TB_STDCALL FaceStop(Face* face, int32_t argument) noexcept;
  struct ControlTable;
  static const ControlTable kControlTable;

  HRESULT QueryInterface(REFIID iid, void** out) noexcept;
  ULONG AddRef() noexcept;
  ULONG Release() noexcept;

  Face controlFace_;
  com_ptr<IManager> manager_;
  com_ptr<ILifetime> lifetime_;
  // The object's inner count, as Release and QueryInterface reach it. It stays usable
  // during destruction, after our own reference on ILifetime is gone: an object that
  // answers Release of its interfaces through us (as Attach asks) calls back into
  // Release while the destructors give its references up.
  ILifetime* inner_ = nullptr;
  ULONG ownReferences_ = 0;
  bool ready_ = false;
  bool destroying_ = false;
};

}  // namespace tb

#endif  // TB_SOURCES_PROXY_BASE_H
