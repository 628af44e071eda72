// The helpers that every COM class of the library and of the reference plug-ins is
// built with: implements<> for an object with a count of its own, outer_counted<> for
// the faces of a part whose count belongs to another object. Counted references are
// the SDK's com_ptr (tunebay/com_ptr.h).
#ifndef TB_BASE_COM_H
#define TB_BASE_COM_H

#include <windows.h>

#include <tunebay/com_ptr.h>
#include <tunebay/types.h>

#include <cstring>
#include <type_traits>
#include <utility>

namespace tb {

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
/// row's interface with one reference added (through the face's own AddRef) and
/// returns S_OK, or E_NOINTERFACE. A null slot gives E_INVALIDARG.
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

/// The usual count: one interlocked number that starts with the creator's reference.
class InterlockedCount {
 public:
  InterlockedCount() noexcept = default;
  InterlockedCount(const InterlockedCount&) = delete;
  InterlockedCount& operator=(const InterlockedCount&) = delete;

  /// The count after the change.
  ULONG Add() noexcept { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  /// The count after the change; the owner destroys itself at 0.
  ULONG Drop() noexcept { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }

 private:
  volatile LONG refs_ = 1;
};

/// Whether interface I has an identifier of its own (IComponent, for one, is reached
/// only as an object's base identifier).
template <class I, class = void>
struct has_iid : std::false_type {};
template <class I>
struct has_iid<I, std::void_t<decltype(iid_traits<I>::value())>> : std::true_type {};

template <class I>
bool is_iid_of(REFIID iid) noexcept {
  if constexpr (has_iid<I>::value) {
    return same_iid(iid, iid_of<I>());
  } else {
    return false;
  }
}

/// Lets implements<> destroy an object whose destructor is private: such a class says
/// `friend struct tb::object_access;`.
struct object_access {
  template <class T>
  static void destroy(T* object) noexcept {
    delete object;
  }
};

/// A counted object with the interfaces `Faces`, in the spirit of C++/WinRT's
/// implements<>: QueryInterface answers each face's identifier (and the base identifier
/// with the first face) from the list, AddRef and Release act on one count of type
/// `Count` (Add and Drop returning the count after the change), and the Release that
/// brings it to 0 deletes the Derived object.
///
/// A face may be any struct whose table pointer is reached by converting to it, so the
/// two-table ISourceOpener works as listed. A class that answers more (an identifier of
/// its own, a face only sometimes) overrides QueryInterface and asks query_faces for
/// the rest. A face without an identifier of its own is reached only as the first.
template <class Derived, class Count, class... Faces>
class implements_with : public Faces... {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    return query_faces(iid, out);
  }
  ULONG TB_STDCALL AddRef() noexcept override { return count_.Add(); }
  ULONG TB_STDCALL Release() noexcept override {
    const ULONG left = count_.Drop();
    if (left == 0) object_access::destroy(static_cast<Derived*>(this));
    return left;
  }

 protected:
  implements_with() noexcept = default;
  ~implements_with() = default;
  implements_with(const implements_with&) = delete;
  implements_with& operator=(const implements_with&) = delete;

  /// The answer of the face list alone.
  HRESULT query_faces(REFIID iid, void** out) noexcept {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    Derived* self = static_cast<Derived*>(this);
    if (same_iid(iid, iid_of<IUnknown>())) {
      *out = first_face(self);
    } else {
      (void)((is_iid_of<Faces>(iid) ? (*out = static_cast<Faces*>(self), true) : false) || ...);
    }
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  Count count_;

 private:
  template <class First, class... Rest>
  static First* first_of(Derived* self) noexcept {
    return static_cast<First*>(self);
  }
  static void* first_face(Derived* self) noexcept { return first_of<Faces...>(self); }
};

/// implements_with on the usual interlocked count.
template <class Derived, class... Faces>
using implements = implements_with<Derived, InterlockedCount, Faces...>;

/// The faces of a part of another object (a composite's layer): they have no count or
/// identity of their own, so QueryInterface, AddRef and Release all go to the outer
/// object, which owns the part and destroys it with itself.
template <class... Faces>
class outer_counted : public Faces... {
 public:
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    return outer_->QueryInterface(iid, out);
  }
  ULONG TB_STDCALL AddRef() noexcept override { return outer_->AddRef(); }
  ULONG TB_STDCALL Release() noexcept override { return outer_->Release(); }

 protected:
  explicit outer_counted(IUnknown* outer) noexcept : outer_(outer) {}
  ~outer_counted() = default;
  outer_counted(const outer_counted&) = delete;
  outer_counted& operator=(const outer_counted&) = delete;

  IUnknown* outer() const noexcept { return outer_; }

 private:
  IUnknown* outer_;  // not counted: it owns us
};

}  // namespace tb

#endif  // TB_BASE_COM_H
