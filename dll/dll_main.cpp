// The library's only export, and its entry point.
#include <windows.h>

#include <tunebay/manager.h>

#include "dll/assembly.h"

extern "C" __declspec(dllexport) bool __cdecl GetTunebay(tb::IManager** manager) {
  return tb::GetAssembledManager(manager);
}

// The window system is loaded, and pinned, when a dialog first calls it (see
// nls/window_system.cpp): a host that loads and frees this library many times, showing
// dialogs, sets it up once per process, and one that shows none never starts it. The
// common controls are loaded, and pinned, when a dialog is first shown.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
