// Counted references and the helper that builds QueryInterface from a table.
#ifndef TB_BASE_COM_H
#define TB_BASE_COM_H

#include <tunebay/types.h>

#include <cstring>
#include <utility>

namespace tb {

/// Holds one counted reference. put() hands out the slot for out-parameters,
/// detach() gives the reference to a caller's slot, query<I>() asks for another
/// interface and gives null on failure.
template <class T>
class com_ptr {
 public:
  com_ptr() noexcept = default;
  com_ptr(std::nullptr_t) noexcept {}
  /// Takes a new reference on `p`.
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
    com_ptr(std::move(other)).swap(*this);
    return *this;
  }
  ~com_ptr() { reset(); }

  /// Adopts a reference that the caller already owns.
  static com_ptr adopt(T* p) noexcept {
    com_ptr result;
    result.p_ = p;
    return result;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  void reset() noexcept {
    T* old = p_;
    p_ = nullptr;
    if (old) old->Release();
  }
  /// Releases what is held and returns the slot for an out-parameter.
  T** put() noexcept {
    reset();
    return &p_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
  /// Gives the reference away.
  T* detach() noexcept {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  /// Hands the reference to a caller's slot (which may be null: then it is dropped).
  template <class U>
  void copy_to(U** slot) const noexcept {
    if (!slot) return;
    *slot = p_;
    if (p_) p_->AddRef();
  }
  void swap(com_ptr& other) noexcept { std::swap(p_, other.p_); }

  /// Another interface of the same object, or null.
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

/// Compares two identifiers as 16 raw bytes.
inline bool same_iid(const GUID& a, const GUID& b) noexcept {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

/// One row of a QueryInterface table: an identifier and the interface it yields.
struct QueryRow {
  const GUID* iid;
  IUnknown* face;
};

/// QueryInterface from a table of rows: empties the slot, stores the first matching
/// row's interface with one reference added (through `owner`'s AddRef) and returns
/// S_OK, or E_NOINTERFACE. A null slot gives E_INVALIDARG.
template <size_t N>
HRESULT query_from_table(REFIID iid, void** out, const QueryRow (&rows)[N]) noexcept {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  for (const QueryRow& row : rows) {
    if (row.face && same_iid(iid, *row.iid)) {
      row.face->AddRef();
      *out = row.face;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

}  // namespace tb

#endif  // TB_BASE_COM_H
