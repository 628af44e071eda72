// The common controls, loaded when a dialog first needs them.
#ifndef TB_UI_COMMON_CONTROLS_H
#define TB_UI_COMMON_CONTROLS_H

#include <windows.h>

#include <commctrl.h>

namespace tb {
namespace ui {

/// Loads the common controls (the version the caller's activation context asks for),
/// keeps them loaded for the life of the process and registers the classes `classes`
/// (ICC_ flags). The library does not import them: a host that never shows a dialog
/// never starts them (under Wine, starting them creates the desktop window, which takes
/// a desktop process and about a tenth of a second). False when they cannot be loaded.
bool InitControls(DWORD classes) noexcept;

/// ImageList_LoadImageA of the controls InitControls loaded; null before it succeeded.
HIMAGELIST LoadImageList(HINSTANCE module, LPCSTR name, int width, int grow, COLORREF mask,
                         UINT type, UINT flags) noexcept;

}  // namespace ui
}  // namespace tb

#endif  // TB_UI_COMMON_CONTROLS_H
