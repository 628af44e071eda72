// The window system's functions that the library calls (the dialogs and the translation
// of their windows), bound at their first call: a host that shows no dialog never
// starts the window system, which under Wine costs every process a few hundredths of a
// second. A call of another user32 function would import the DLL again; the library's
// import test says so.
#include "base/lazy_import.h"

namespace {
constexpr wchar_t kUser32[] = L"user32.dll";
}  // namespace

TB_LAZY_IMPORT(kUser32, DialogBoxParamA, "DialogBoxParamA@20")
TB_LAZY_IMPORT(kUser32, EnableWindow, "EnableWindow@8")
TB_LAZY_IMPORT(kUser32, EndDialog, "EndDialog@8")
TB_LAZY_IMPORT(kUser32, GetActiveWindow, "GetActiveWindow@0")
TB_LAZY_IMPORT(kUser32, GetAncestor, "GetAncestor@8")
TB_LAZY_IMPORT(kUser32, GetClassNameA, "GetClassNameA@12")
TB_LAZY_IMPORT(kUser32, GetClientRect, "GetClientRect@8")
TB_LAZY_IMPORT(kUser32, GetDlgItem, "GetDlgItem@8")
TB_LAZY_IMPORT(kUser32, GetWindow, "GetWindow@8")
TB_LAZY_IMPORT(kUser32, GetWindowLongA, "GetWindowLongA@8")
TB_LAZY_IMPORT(kUser32, GetWindowRect, "GetWindowRect@8")
TB_LAZY_IMPORT(kUser32, GetWindowTextA, "GetWindowTextA@12")
TB_LAZY_IMPORT(kUser32, InvalidateRect, "InvalidateRect@12")
TB_LAZY_IMPORT(kUser32, IsIconic, "IsIconic@4")
TB_LAZY_IMPORT(kUser32, IsWindowVisible, "IsWindowVisible@4")
TB_LAZY_IMPORT(kUser32, LoadStringA, "LoadStringA@16")
TB_LAZY_IMPORT(kUser32, SendMessageA, "SendMessageA@16")
TB_LAZY_IMPORT(kUser32, SetWindowLongA, "SetWindowLongA@12")
TB_LAZY_IMPORT(kUser32, SetWindowPos, "SetWindowPos@28")
TB_LAZY_IMPORT(kUser32, SetWindowTextA, "SetWindowTextA@8")
TB_LAZY_IMPORT(kUser32, ShowWindow, "ShowWindow@8")
TB_LAZY_IMPORT(kUser32, SystemParametersInfoA, "SystemParametersInfoA@16")
