// RAII owners for platform handles: one template, one line per handle type.
#ifndef TB_BASE_HANDLES_H
#define TB_BASE_HANDLES_H

#include <windows.h>

#include <utility>

namespace tb {

template <class T, class Close, T Empty = T()>
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
  explicit operator bool() const noexcept { return value_ != Empty; }

  /// Closes what is held and holds `value` instead.
  void reset(T value = Empty) noexcept {
    T old = value_;
    value_ = value;
    if (old != Empty) Close()(old);
  }
  /// Gives up ownership without closing.
  T release() noexcept {
    T old = value_;
    value_ = Empty;
    return old;
  }
  /// For out-parameters: closes what is held and returns the slot.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  T value_ = Empty;
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
// INVALID_HANDLE_VALUE is not a constant expression, so these two check it at close.
struct close_hfind_checked {
  void operator()(HANDLE find) const noexcept {
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
  }
};
struct close_hfile_checked {
  void operator()(HANDLE file) const noexcept {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
};
using unique_hfind = unique_handle<HANDLE, close_hfind_checked>;
using unique_hfile = unique_handle<HANDLE, close_hfile_checked>;

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
