#include "ui/common_controls.h"

namespace tb {
namespace ui {

namespace {

using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
using LoadImageListFn = HIMAGELIST(WINAPI*)(HINSTANCE, LPCSTR, int, int, COLORREF, UINT, UINT);

struct Controls {
  InitFn init = nullptr;
  LoadImageListFn loadImageList = nullptr;
};

// Loaded once, on the first dialog's thread, and pinned: a FreeLibrary of this library
// must not unload them (they do not give back everything they set up).
const Controls& Loaded() noexcept {
  static const Controls controls = [] {
    Controls c;
    const HMODULE module = LoadLibraryW(L"comctl32.dll");
    if (!module) return c;
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(module), &pinned);
    c.init = reinterpret_cast<InitFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "InitCommonControlsEx")));
    c.loadImageList = reinterpret_cast<LoadImageListFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "ImageList_LoadImageA")));
    return c;
  }();
  return controls;
}

}  // namespace

bool InitControls(DWORD classes) noexcept {
  const Controls& controls = Loaded();
  if (!controls.init) return false;
  INITCOMMONCONTROLSEX request{sizeof request, classes};
  return controls.init(&request) != FALSE;
}

HIMAGELIST LoadImageList(HINSTANCE module, LPCSTR name, int width, int grow, COLORREF mask,
                         UINT type, UINT flags) noexcept {
  const Controls& controls = Loaded();
  return controls.loadImageList
             ? controls.loadImageList(module, name, width, grow, mask, type, flags)
             : nullptr;
}

}  // namespace ui
}  // namespace tb
