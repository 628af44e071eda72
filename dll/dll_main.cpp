// The library's only export, and the entry point that keeps the window system loaded.
#include <windows.h>

#include <tunebay/manager.h>

#include "dll/assembly.h"

extern "C" __declspec(dllexport) bool __cdecl GetTunebay(tb::IManager** manager) {
  return tb::GetAssembledManager(manager);
}

// The dialogs link the window system and the common controls. In a host that does not
// use them itself, every FreeLibrary of this DLL would unload both and every
// LoadLibrary start them again, and they do not give back everything they set up: a host
// that loads and frees the library a thousand times would grow by megabytes. Pinned at
// the first load, they are set up once per process, as a windowed host has them anyway.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    for (const wchar_t* name : {L"user32.dll", L"comctl32.dll"}) {
      HMODULE pinned = nullptr;
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &pinned);
    }
  }
  return TRUE;
}
