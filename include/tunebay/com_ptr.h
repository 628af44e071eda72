// Tunebay SDK: com_ptr, one counted reference held the RAII way. Header-only and free
// of the standard library; hosts and plug-ins may use it or keep their own.
//
//   tb::com_ptr<tb::IManager> manager;
//   if (!GetTunebay(manager.put())) return;          // put(): an out-slot
//   tb::com_ptr<tb::IComponentCollection> catalogue =
//       manager.query<tb::IComponentCollection>();   // null when not offered
//   ...                                              // released at scope end
//
// Rules: a com_ptr owns exactly one reference when it is not null. Constructing from a
// raw pointer adds a reference (the pointer stays the caller's); adopt() takes over a
// reference the caller already owns; detach() gives the reference away without
// releasing it; copy_to() hands out a new one. Not thread-safe: one com_ptr belongs
// to one thread at a time, as a raw pointer would (the object's count itself is the
// object's business).
#ifndef TUNEBAY_COM_PTR_H
#define TUNEBAY_COM_PTR_H

#include "types.h"

namespace tb {

/// Holds one counted reference on an interface T (IUnknown-shaped: AddRef, Release,
/// QueryInterface). put() hands out the slot for out-parameters, detach() gives the
/// reference to a caller's slot, query<I>() asks for another interface and gives null
/// on failure.
template <class T>
class com_ptr {
 public:
  com_ptr() noexcept = default;
  com_ptr(decltype(nullptr)) noexcept {}
  /// Takes a new reference on `p` (null: empty).
  explicit com_ptr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  com_ptr(const com_ptr& other) noexcept : com_ptr(other.p_) {}
  com_ptr(com_ptr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  com_ptr& operator=(const com_ptr& other) noexcept {
    com_ptr(other).swap(*this);
    return *this;
  }
  com_ptr& operator=(com_ptr&& other) noexcept {
    com_ptr(static_cast<com_ptr&&>(other)).swap(*this);
    return *this;
  }
  /// Releases the reference held, if any.
  ~com_ptr() { reset(); }

  /// Adopts a reference that the caller already owns (no AddRef).
  static com_ptr adopt(T* p) noexcept {
    com_ptr result;
    result.p_ = p;
    return result;
  }

  /// The interface pointer, still owned by this com_ptr; null when empty.
  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  /// Releases what is held; the com_ptr is empty afterwards.
  void reset() noexcept {
    T* old = p_;
    p_ = nullptr;
    if (old) old->Release();
  }
  /// Releases what is held and returns the empty slot, for an operation that stores a
  /// new reference into an out-parameter (T**).
  T** put() noexcept {
    reset();
    return &p_;
  }
  /// put() for QueryInterface-style out-parameters (void**).
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
  /// Gives the reference away: the caller owns it now; the com_ptr is empty.
  T* detach() noexcept {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  /// Stores the pointer into `*slot` with a new reference for the receiver (null
  /// `slot`: nothing happens). What `*slot` held before is overwritten, not released.
  template <class U>
  void copy_to(U** slot) const noexcept {
    if (!slot) return;
    *slot = p_;
    if (p_) p_->AddRef();
  }
  void swap(com_ptr& other) noexcept {
    T* p = p_;
    p_ = other.p_;
    other.p_ = p;
  }

  /// Interface I of the same object through QueryInterface (tb::iid_of<I>()), with
  /// its own reference; empty when the object does not offer it or this is empty.
  template <class I>
  com_ptr<I> query() const noexcept {
    com_ptr<I> result;
    if (p_) {
      if (FAILED(p_->QueryInterface(iid_of<I>(), result.put_void()))) result.detach();
    }
    return result;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace tb

#endif  // TUNEBAY_COM_PTR_H
