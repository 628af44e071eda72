// The library's only export, and the entry point that keeps the window system loaded.
#include <windows.h>

#include <tunebay/manager.h>

#include "dll/assembly.h"

extern "C" __declspec(dllexport) bool __cdecl GetTunebay(tb::IManager** manager) {
  return tb::GetAssembledManager(manager);
}

// The dialogs link the window system. In a host that does not use it itself, every
// FreeLibrary of this DLL would unload it and every LoadLibrary start it again, and it
// does not give back everything it set up: a host that loads and frees the library a
// thousand times would grow by megabytes. Pinned at the first load, it is set up once
// per process, as a windowed host has it anyway. (The common controls are loaded, and
// pinned, only when a dialog is first shown.)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"user32.dll", &pinned);
  }
  return TRUE;
}
