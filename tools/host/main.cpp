// tunebay-host: command dispatch.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host.h"
// after host.h, which brings windows.h
#include <winver.h>

namespace host {

std::string ExeFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  std::string folder(path, n);
  size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

int g_language = -1;

bool OpenSession(Session& session) {
  std::string dll = ExeFolder() + "tunebay.dll";
  session.library = LoadLibraryA(dll.c_str());
  if (!session.library) {
    std::fprintf(stderr, "error: cannot load %s (error %lu)\n", dll.c_str(), GetLastError());
    return false;
  }
  auto get = reinterpret_cast<tb::GetTunebayFn>(
      reinterpret_cast<void*>(GetProcAddress(session.library, TB_EXPORT_GET_TUNEBAY)));
  if (!get) {
    std::fprintf(stderr, "error: %s does not export GetTunebay\n", dll.c_str());
    FreeLibrary(session.library);
    session.library = nullptr;
    return false;
  }
  if (!get(&session.manager) || !session.manager) {
    std::fprintf(stderr, "error: GetTunebay gave no manager\n");
    FreeLibrary(session.library);
    session.library = nullptr;
    return false;
  }
  tb::ILanguageSetting* setting = nullptr;
  if (g_language >= 0 &&
      SUCCEEDED(session.manager->QueryInterface(tb::iid_of<tb::ILanguageSetting>(),
                                                reinterpret_cast<void**>(&setting)))) {
    setting->SetLanguage(uint16_t(g_language));
    setting->Release();
  }
  return true;
}

void CloseSession(Session& session) {
  if (session.manager) {
    ULONG left = session.manager->Release();
    session.manager = nullptr;
    if (left != 0) std::fprintf(stderr, "warning: the manager still has %lu references\n", left);
  }
  if (session.library) FreeLibrary(session.library);
  session.library = nullptr;
}

void PrintError(tb::IManager* manager, tb::IError* error, const char* what) {
  if (!error) {
    std::fprintf(stderr, "error: %s failed\n", what);
    return;
  }
  tb::IError* described = nullptr;
  if (manager && manager->DescribeError(error, &described) && described) {
    // System messages end in a line break, also inside a described text: one line.
    const char* message = described->GetMessage();
    std::string line = message ? message : "";
    for (char& c : line) c = (c == '\r' || c == '\n') ? ' ' : c;
    while (line.find("  ") != std::string::npos) line.erase(line.find("  "), 1);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::fprintf(stderr, "error: %s: %s\n", what, line.c_str());
    described->Release();
  } else {
    std::fprintf(stderr, "error: %s failed (code 0x%08lx, system error %lu)\n", what,
                 static_cast<unsigned long>(error->GetCode()),
                 static_cast<unsigned long>(error->GetSystemError()));
  }
}

namespace {

struct Command {
  const char* name;
  int (*run)(const Args& args);
  const char* usage;
};

const Command kCommands[] = {
    {"interfaces", CommandInterfaces, "interfaces            what the manager offers"},
    {"order", CommandOrder, "order [set KEY...]    decoder priority; set stores a new one"},
    {"list", CommandList, "list [--json]         the components of the plug-ins, loaded and freed"},
    {"open", CommandOpen, "open NAME [OPTIONS]   a file or URL as a host sees it; --explain"},
    {"convert", CommandConvert,
     "convert IN OUT [OPT]  the main job: a file or URL into OUT, --format R:B:C"},
    {"info", CommandInfo, "info NAME             format, length, tags, and the artist/title rule"},
    {"tone", CommandTone, "tone OUT [OPTIONS]    writes a tagged sine tone through an encoder"},
    {"settings", CommandSettings,
     "settings [--lang ID]  the settings dialog; stores what is chosen"},
    {"languages", CommandLanguages,
     "languages             the dialogs' languages with a sample text"},
};

// The tool's own version (the SDK it was built with) and the file version that the
// version resource of the tunebay.dll beside it states, read without loading it.
int PrintVersion() {
  std::printf("tunebay-host %s (SDK %d.%d.%d)\n", TUNEBAY_SDK_VERSION_STRING,
              TUNEBAY_SDK_VERSION_MAJOR, TUNEBAY_SDK_VERSION_MINOR, TUNEBAY_SDK_VERSION_PATCH);
  const std::string dll = ExeFolder() + "tunebay.dll";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(dll.c_str(), &ignored);
  std::vector<char> info(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoA(dll.c_str(), 0, size, info.data()) ||
      !VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    std::printf("tunebay.dll: no version resource (%s)\n", dll.c_str());
    return 1;
  }
  std::printf("tunebay.dll %u.%u.%u.%u (%s)\n", unsigned(HIWORD(fixed->dwFileVersionMS)),
              unsigned(LOWORD(fixed->dwFileVersionMS)), unsigned(HIWORD(fixed->dwFileVersionLS)),
              unsigned(LOWORD(fixed->dwFileVersionLS)), dll.c_str());
  return 0;
}

void PrintUsage() {
  std::printf(
      "usage: tunebay-host [--lang LANGID] COMMAND [ARGS]\n"
      "       tunebay-host --version\n\ncommands:\n");
  for (const Command& c : kCommands) std::printf("  %s\n", c.usage);
  std::printf("\n--lang LANGID sets the language of the manager's texts, e.g. 0x0407\n");
}

}  // namespace

}  // namespace host

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    host::PrintUsage();
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) return host::PrintVersion();
  host::Args all(argv + 1, argv + argc);
  if (all[0] == "--lang") {
    const std::string value = all.size() >= 2 ? all[1] : std::string();
    char* end = nullptr;
    const unsigned long language = std::strtoul(value.c_str(), &end, 0);
    if (value.empty() || value[0] == '-' || *end != '\0' || language > 0xFFFF) {
      std::fprintf(stderr, "error: --lang wants a LANGID such as 0x0407, not '%s'\n",
                   value.c_str());
      return 2;
    }
    host::g_language = int(language);
    all.erase(all.begin(), all.begin() + 2);
  }
  if (all.empty()) {
    host::PrintUsage();
    return 2;
  }
  host::Args args(all.begin() + 1, all.end());
  for (const host::Command& c : host::kCommands) {
    if (all[0] == c.name) return c.run(args);
  }
  std::fprintf(stderr, "error: unknown command '%s'\n", all[0].c_str());
  host::PrintUsage();
  return 2;
}
