// Soak: 10,000 GetTunebay/Initialise/Finish/Release cycles with every bundled plug-in,
// then 1,000 cycles that also load and free tunebay.dll, each phase measured before and
// after (and at every quarter) for handles, modules, free TLS slots and memory. A host
// that re-initialises the manager on every settings change runs such cycles for hours.
//
// usage: soak_bench [CYCLES [LIBRARY_CYCLES]]
// Exits with 1 when a phase failed a cycle or grew in handles, modules or TLS slots, in
// heap bytes by more than a few bytes a cycle or in private memory by more than 64 KiB,
// or when the window system was started (this program does not link it and shows no
// dialog, so neither the library nor a bundled plug-in may load it).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/footprint.h"
#include "bench/soak.h"

namespace {

std::string ExeFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

bool Phase(const char* title, const tbsoak::SoakSetup& setup, int cycles, bool reload) {
  std::printf("== %s: %d cycles\n", title, cycles);
  int components = -1;
  std::string why;
  // Warm-up: first loads settle what the platform keeps once per process.
  if (tbsoak::RunCycles(setup, 20, reload, &components, &why) != 0) {
    std::printf("warm-up failed: %s\n", why.c_str());
    return false;
  }
  const tbsoak::Footprint before = tbsoak::Measure();
  std::printf("before:      %s (%d components)\n", tbsoak::Describe(before).c_str(), components);
  const DWORD start = GetTickCount();
  int failures = 0;
  tbsoak::Footprint after = before;
  for (int quarter = 1; quarter <= 4; ++quarter) {
    failures += tbsoak::RunCycles(setup, cycles / 4, reload, &components, &why);
    after = tbsoak::Measure();
    std::printf("after %5d: %s\n", cycles / 4 * quarter, tbsoak::Describe(after).c_str());
  }
  const double seconds = (GetTickCount() - start) / 1000.0;
  const long long heapGrowth = static_cast<long long>(after.heapBytes) - before.heapBytes;
  const long long privateGrowth =
      static_cast<long long>(after.privateBytes) - static_cast<long long>(before.privateBytes);
  std::printf(
      "growth: handles %+d, modules %+d, free TLS slots %+d, heap %+lld bytes, "
      "private %+lld KiB; %d failed cycles; %.1f s\n",
      after.handles - before.handles, after.modules - before.modules,
      after.freeTlsSlots - before.freeTlsSlots, heapGrowth, privateGrowth / 1024, failures,
      seconds);
  if (failures) std::printf("first failure: %s\n", why.c_str());
  const bool flat = failures == 0 && after.handles == before.handles &&
                    after.modules == before.modules && after.freeTlsSlots == before.freeTlsSlots &&
                    heapGrowth < 16384 && privateGrowth < 64 * 1024;
  std::printf("%s\n\n", flat ? "flat" : "GROWS");
  return flat;
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int libraryCycles = argc > 2 ? std::atoi(argv[2]) : 1000;
  const std::string folder = ExeFolder();
  const tbsoak::SoakSetup setup{folder + "tunebay.dll", folder + "plugins", "soak"};
  bool flat = Phase("manager cycles, tunebay.dll loaded once", setup, cycles, false);
  flat = Phase("cycles that load and free tunebay.dll", setup, libraryCycles, true) && flat;
  // Nothing here shows a dialog, so nothing may have started the window system.
  const bool started = GetModuleHandleA("user32.dll") != nullptr;
  std::printf("window system started without a dialog: %s\n", started ? "YES" : "no");
  flat = !started && flat;
  return flat ? 0 : 1;
}
