// Load/unload cycles of the manager with the bundled plug-ins, through tunebay.dll as a
// host uses it: GetTunebay, Initialise, Finish, the last Release; optionally loading and
// freeing tunebay.dll itself around each cycle. Shared by the soak bench and its test.
#ifndef TB_BENCH_SOAK_H
#define TB_BENCH_SOAK_H

#include <windows.h>

#include <tunebay/tunebay.h>

#include <string>

#include "base/com.h"

namespace tbsoak {

struct SoakSetup {
  std::string library;       // full path of tunebay.dll
  std::string pluginFolder;  // the folder the manager scans
  std::string registryName;  // second key name of the settings
};

// One cycle; false with `why` filled on the first thing that went wrong. `components`
// is the catalogue size the cycle saw.
inline bool Cycle(tb::GetTunebayFn getTunebay, const SoakSetup& setup, int* components,
                  std::string* why) {
  tb::IManager* manager = nullptr;
  if (!getTunebay(&manager) || !manager) return *why = "GetTunebay failed", false;
  bool ok = false;
  {
    auto held = tb::com_ptr<tb::IManager>::adopt(manager);
    auto location = held.query<tb::IRegistryLocation>();
    auto catalogue = held.query<tb::IComponentCollection>();
    if (!location || !catalogue) {
      *why = "a face of the manager is missing";
    } else if (!location->SetKeyName1("TunebaySoak", nullptr) ||
               !location->SetKeyName2(setup.registryName.c_str(), nullptr) ||
               !manager->SetPluginFolder(setup.pluginFolder.c_str())) {
      *why = "the manager refused its settings";
    } else if (!manager->Initialise()) {
      *why = "Initialise failed";
    } else {
      *components = catalogue->GetCount();
      if (!manager->Finish()) {
        *why = "Finish failed";
      } else {
        ok = true;
      }
    }
    held.detach();  // the last Release below is counted
  }
  const ULONG left = manager->Release();
  if (left != 0 && ok) *why = "the last Release left " + std::to_string(left), ok = false;
  return ok;
}

// Runs `cycles` cycles; with `reload`, tunebay.dll is loaded and freed around each.
// Returns the number of failed cycles; the first failure is described in `why`.
inline int RunCycles(const SoakSetup& setup, int cycles, bool reload, int* components,
                     std::string* why) {
  HMODULE kept = reload ? nullptr : LoadLibraryA(setup.library.c_str());
  if (!reload && !kept) return *why = "cannot load " + setup.library, cycles;
  int failures = 0;
  for (int i = 0; i < cycles; ++i) {
    HMODULE library = reload ? LoadLibraryA(setup.library.c_str()) : kept;
    auto getTunebay = library ? reinterpret_cast<tb::GetTunebayFn>(reinterpret_cast<void*>(
                                    GetProcAddress(library, TB_EXPORT_GET_TUNEBAY)))
                              : nullptr;
    std::string failure;
    int seen = 0;
    const bool ok = getTunebay ? Cycle(getTunebay, setup, &seen, &failure)
                               : (failure = "cannot load " + setup.library, false);
    if (ok && *components >= 0 && seen != *components) {
      failure = "the catalogue changed size";
    }
    if (*components < 0) *components = seen;
    if (!failure.empty()) {
      if (failures++ == 0) *why = "cycle " + std::to_string(i) + ": " + failure;
    }
    if (reload && library) FreeLibrary(library);
  }
  if (kept) FreeLibrary(kept);
  return failures;
}

}  // namespace tbsoak

#endif  // TB_BENCH_SOAK_H
