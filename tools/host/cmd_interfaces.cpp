// tunebay-host interfaces: which of the manager's interfaces answer.
#include <cstdio>

#include "host.h"

namespace host {

namespace {

struct Row {
  const char* name;
  const GUID* iid;
};

}  // namespace

const cli::CommandDef kInterfacesCommand = {
    "interfaces",
    "what the manager offers",
    "interfaces",
    "Loads tunebay.dll, takes its manager and asks it for each of its secondary\n"
    "interfaces, without initialising it.\n",
    nullptr,
    0,
    false,
    "Exit status: 0 when every interface answers, 1 when one does not or the library\n"
    "did not load, 2 for bad arguments.\n",
    0,
    0};

int CommandInterfaces(const cli::ParsedLine&) {
  Session session;
  if (!OpenSession(session)) return 1;
  const Row rows[] = {
      {"IComponentCollection", &tb::iid_of<tb::IComponentCollection>()},
      {"ILanguageSetting", &tb::iid_of<tb::ILanguageSetting>()},
      {"IRegistryLocation", &tb::iid_of<tb::IRegistryLocation>()},
      {"IHostSettings", &tb::iid_of<tb::IHostSettings>()},
      {"ISettingsDialog", &tb::iid_of<tb::ISettingsDialog>()},
      {"IComponentOrigin", &tb::iid_of<tb::IComponentOrigin>()},
      {"ISourceOrder", &tb::iid_of<tb::ISourceOrder>()},
      {"IModuleLocation", &tb::iid_of<tb::IModuleLocation>()},
      {"IClientValue", &tb::iid_of<tb::IClientValue>()},
  };
  std::printf("tunebay.dll manager at %p\n", static_cast<void*>(session.manager));
  std::printf("  IManager              (from GetTunebay)\n");
  int missing = 0;
  for (const Row& row : rows) {
    IUnknown* face = nullptr;
    HRESULT hr = session.manager->QueryInterface(*row.iid, reinterpret_cast<void**>(&face));
    std::printf("  %-21s %s\n", row.name, SUCCEEDED(hr) ? "yes" : "no");
    if (face) face->Release();
    if (FAILED(hr)) ++missing;
  }
  CloseSession(session);
  return missing == 0 ? 0 : 1;
}

}  // namespace host
