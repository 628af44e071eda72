// tunebay-host: command dispatch.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host.h"
#include "host_support.h"
#include "plugin_report.h"
// CommandLineToArgvW; it needs windows.h, which host.h brings, first.
#include <shellapi.h>
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
  if (!g_trace.empty()) {
    tb::com_ptr<tb::IPluginDiagnostics> diagnostics = DiagnosticsOf(session.manager);
    if (!diagnostics || !diagnostics->SetTrace(g_trace.c_str())) {
      PrintErr("warning: the library's trace cannot be sent to %s\n", g_trace.c_str());
    }
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
    PrintErr("error: %s failed\n", what);
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
    PrintErr("error: %s: %s\n", what, line.c_str());
    described->Release();
  } else {
    PrintErr("error: %s failed (code 0x%08lx, system error %lu)\n", what,
             static_cast<unsigned long>(error->GetCode()),
             static_cast<unsigned long>(error->GetSystemError()));
  }
}

namespace {

std::wstring Wide(const std::string& text, UINT codePage) {
  const int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &wide[0], n);
  return wide;
}

// `wide` in the system code page; false when a character has no place in it.
bool Ansi(const std::wstring& wide, std::string& out) {
  out.clear();
  if (wide.empty()) return true;
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()),
                                    nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return false;
  out.resize(static_cast<size_t>(n));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), &out[0], n,
                      nullptr, &lossy);
  return !lossy;
}

std::string Utf8(const std::wstring& wide) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), &out[0], n, nullptr, nullptr);
  }
  return out;
}

void WriteWide(FILE* stream, DWORD handle, const std::wstring& wide) {
  // What was printed before through the C library comes first.
  std::fflush(stream);
  HANDLE out = GetStdHandle(handle);
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, wide.data(), DWORD(wide.size()), &written, nullptr);
  } else {
    const std::string utf8 = Utf8(wide);
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
  }
}

void PrintTo(FILE* stream, DWORD handle, const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n <= 0) return;
  std::vector<char> text(static_cast<size_t>(n) + 1);
  std::vsnprintf(text.data(), text.size(), format, args);
  WriteWide(stream, handle, Wide(std::string(text.data(), static_cast<size_t>(n)), CP_ACP));
}

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
    {"doctor", CommandDoctor,
     "doctor [DIR|FILE...]  checks plug-in files one by one and says what is wrong"},
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
      "usage: tunebay-host [-v] [--lang LANGID] COMMAND [ARGS]\n"
      "       tunebay-host --version\n\ncommands:\n");
  for (const Command& c : kCommands) std::printf("  %s\n", c.usage);
  std::printf("\n--lang LANGID sets the language of the manager's texts, e.g. 0x0407\n");
  std::printf(
      "-v writes the library's trace to the error stream (TUNEBAY_TRACE=1 does too;\n"
      "   TUNEBAY_TRACE=FILE appends it to a file)\n");
}

}  // namespace

void PrintOut(const char* format, ...) {
  va_list args;
  va_start(args, format);
  PrintTo(stdout, STD_OUTPUT_HANDLE, format, args);
  va_end(args);
}

void PrintErr(const char* format, ...) {
  va_list args;
  va_start(args, format);
  PrintTo(stderr, STD_ERROR_HANDLE, format, args);
  va_end(args);
}

// The manager's interface is 8-bit: a name that the system code page cannot spell goes
// through its short form, which is plain ASCII, when the volume keeps short names.
bool WideCommandLine(Args& args) {
  args.clear();
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return false;
  bool ok = true;
  for (int i = 1; i < count && ok; ++i) {
    std::string arg;
    if (!Ansi(wide[i], arg)) {
      const DWORD n = GetShortPathNameW(wide[i], nullptr, 0);
      std::wstring shortName(n, L'\0');
      const DWORD got = n ? GetShortPathNameW(wide[i], &shortName[0], n) : 0;
      shortName.resize(got < n ? got : 0);
      if (shortName.empty() || !Ansi(shortName, arg)) {
        WriteWide(stderr, STD_ERROR_HANDLE,
                  L"error: " + std::wstring(wide[i]) +
                      L": the name has characters outside code page " + std::to_wstring(GetACP()) +
                      L" and no short (8.3) form, so it cannot pass the manager's 8-bit "
                      L"interface; rename it, or name an existing file on a volume that keeps "
                      L"short names\n");
        ok = false;
      }
    }
    args.push_back(arg);
  }
  LocalFree(wide);
  return ok;
}

}  // namespace host

int main() {
  host::Args all;
  if (!host::WideCommandLine(all)) return 2;
  if (all.empty() || all[0] == "--help" || all[0] == "-h") {
    host::PrintUsage();
    return all.empty() ? 2 : 0;
  }
  if (all[0] == "--version") return host::PrintVersion();
  // The doctor's own check of one file, in a process of its own.
  if (all[0] == host::kDoctorChildCommand) {
    return host::CommandDoctorChild(host::Args(all.begin() + 1, all.end()));
  }
  if (all[0] == "-v" || all[0] == "--verbose") {
    host::g_trace = "1";
    all.erase(all.begin());
    if (all.empty()) {
      host::PrintUsage();
      return 2;
    }
  }
  if (all[0] == "--lang") {
    const std::string value = all.size() >= 2 ? all[1] : std::string();
    uint16_t language = 0;
    if (!host::ParseLanguageId(value, language)) {
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
