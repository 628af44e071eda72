// RAII owners for platform handles: one template, one line per handle type.
#ifndef TB_BASE_HANDLES_H
#define TB_BASE_HANDLES_H

#include <windows.h>

#include <utility>

namespace tb {

/// The empty value of most handle types.
template <class T>
struct null_handle {
  static T value() noexcept { return T(); }
};

/// The empty value of file and search handles, which the platform reports failure with.
struct invalid_handle {
  static HANDLE value() noexcept { return INVALID_HANDLE_VALUE; }
};

template <class T, class Close, class Empty = null_handle<T>>
class unique_handle {
 public:
  unique_handle() noexcept = default;
  explicit unique_handle(T value) noexcept : value_(value) {}
  unique_handle(unique_handle&& other) noexcept : value_(other.release()) {}
  unique_handle& operator=(unique_handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  ~unique_handle() { reset(); }

  T get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Empty::value(); }

  /// Closes what is held and holds `value` instead.
  void reset(T value = Empty::value()) noexcept {
    T old = value_;
    value_ = value;
    if (old != Empty::value()) Close()(old);
  }
  /// Gives up ownership without closing.
  T release() noexcept {
    T old = value_;
    value_ = Empty::value();
    return old;
  }
  /// For out-parameters: closes what is held and returns the slot.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  T value_ = Empty::value();
};

struct close_hkey {
  void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
struct close_hmodule {
  void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
struct close_hfind {
  void operator()(HANDLE find) const noexcept { FindClose(find); }
};
struct close_handle {
  void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
struct close_hwnd {
  void operator()(HWND window) const noexcept { DestroyWindow(window); }
};

using unique_hkey = unique_handle<HKEY, close_hkey>;
using unique_hmodule = unique_handle<HMODULE, close_hmodule>;
using unique_hwnd = unique_handle<HWND, close_hwnd>;
// FindFirstFile and CreateFile report failure with INVALID_HANDLE_VALUE, not null.
using unique_hfind = unique_handle<HANDLE, close_hfind, invalid_handle>;
using unique_hfile = unique_handle<HANDLE, close_handle, invalid_handle>;

/// Runs a callable when the scope ends, for the odd case no owner type fits.
template <class F>
class scope_exit {
 public:
  explicit scope_exit(F f) noexcept : f_(std::move(f)) {}
  scope_exit(const scope_exit&) = delete;
  scope_exit& operator=(const scope_exit&) = delete;
  ~scope_exit() {
    if (active_) f_();
  }
  void dismiss() noexcept { active_ = false; }

 private:
  F f_;
  bool active_ = true;
};

template <class F>
scope_exit<F> make_scope_exit(F f) noexcept {
  return scope_exit<F>(std::move(f));
}

}  // namespace tb

#endif  // TB_BASE_HANDLES_H
