#include "sources/proxy_base.h"

#include <new>

#include "core/globals.h"
#include "sources/proxies.h"

namespace tb {

struct ProxyBase::ControlTable {
  QueryFn QueryInterface;
  CountFn AddRef;
  CountFn Release;
  bool(TB_STDCALL* Start)(Face*, int32_t);
  bool(TB_STDCALL* Stop)(Face*, int32_t);
  // The third control operation only passes the call on, whatever its signature.
  ForwardThunk Third;
};

const ProxyBase::ControlTable ProxyBase::kControlTable = {
    &FaceQueryInterface, &FaceAddRef, &FaceRelease, &FaceStart, &FaceStop, kForwardSlot5};

HRESULT TB_STDCALL ProxyBase::FaceQueryInterface(Face* face, REFIID iid, void** out) noexcept {
  return face->owner->QueryInterface(iid, out);
}
ULONG TB_STDCALL ProxyBase::FaceAddRef(Face* face) noexcept { return face->owner->AddRef(); }
ULONG TB_STDCALL ProxyBase::FaceRelease(Face* face) noexcept { return face->owner->Release(); }
bool TB_STDCALL ProxyBase::FaceStart(Face* face, int32_t argument) noexcept {
  return face->owner->Start(argument);
}
bool TB_STDCALL ProxyBase::FaceStop(Face* face, int32_t argument) noexcept {
  return face->owner->Stop(argument);
}

ProxyBase::ProxyBase(Manager& manager) noexcept
    : owner_(manager), controlFace_{&kControlTable, nullptr, this} {
  TB_CHECK_TABLE_SLOT(ControlTable, Third, 5);
  IncrementLiveProxyCount();
}

ProxyBase::~ProxyBase() {
  destroying_ = true;
  conversion_.reset();
  manager_.reset();
  lifetime_.reset();
  control_.reset();
  object_.reset();
  DecrementLiveProxyCount();
}

bool ProxyBase::Wrap(IUnknown** slot, ProxyBase* proxy) noexcept {
  if (!proxy) return false;
  if (!slot || !*slot || !proxy->Build(*slot)) {
    delete proxy;
    return false;
  }
  *slot = proxy->primary();
  return true;
}

bool ProxyBase::TakeObject(IUnknown* object) noexcept {
  manager_ = com_ptr<IManager>(owner_.primary());
  lifetime_ = detail::QueryOf<ILifetime>(object);
  control_ = detail::QueryOf<ISourceControl>(object);
  object_ = com_ptr<IUnknown>(object);
  controlFace_.forward_target = control_.get();
  return lifetime_ && control_;
}

bool ProxyBase::AttachTo(ULONG ownReferences) noexcept {
  inner_ = lifetime_.get();
  ownReferences_ = ownReferences;
  return lifetime_->Attach(primary());
}

bool ProxyBase::AbandonStart(int32_t argument) noexcept {
  conversion_.reset();
  detail::GuardedStop(control_.get(), argument);
  return false;
}

bool ProxyBase::StopObject(int32_t argument) noexcept {
  if (!detail::GuardedStop(control_.get(), argument)) return false;
  conversion_.reset();
  return true;
}

HRESULT ProxyBase::QueryInterface(REFIID iid, void** out) noexcept {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  Face* face = same_iid(iid, iid_of<ISourceControl>()) ? &controlFace_ : FaceFor(iid);
  if (face) {
    AddRef();
    *out = face;
    return S_OK;
  }
  // Everything else, the object's own ILifetime for one, reaches the host unwrapped.
  return inner_ ? inner_->InnerQueryInterface(iid, out) : E_NOINTERFACE;
}

ULONG ProxyBase::AddRef() noexcept { return inner_ ? inner_->InnerAddRef() : 0; }

ULONG ProxyBase::Release() noexcept {
  if (!inner_) return 0;
  const ULONG left = inner_->InnerRelease();
  // Until it is handed out, the proxy is not the host's to end: an object that counts
  // through it during Attach must not bring it down.
  if (destroying_ || !ready_) return left;
  if (left == ownReferences_) {
    destroying_ = true;
    delete this;
    return 0;
  }
  return left;
}

}  // namespace tb
