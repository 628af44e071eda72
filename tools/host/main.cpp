// tunebay-host: command dispatch.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host.h"
#include "host_support.h"
#include "json.h"
#include "plugin_report.h"
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
int g_verbosity = 0;

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
  if (g_verbosity > 0) PrintErr("note: loaded %s\n", dll.c_str());
  tb::ILanguageSetting* setting = nullptr;
  if (g_language >= 0 &&
      SUCCEEDED(session.manager->QueryInterface(tb::iid_of<tb::ILanguageSetting>(),
                                                reinterpret_cast<void**>(&setting)))) {
    setting->SetLanguage(uint16_t(g_language));
    setting->Release();
  }
  // -v also lets the library say what it decides (the scan, the searches).
  if (g_verbosity > 0) {
    tb::com_ptr<tb::IPluginDiagnostics> diagnostics = DiagnosticsOf(session.manager);
    if (!diagnostics || !diagnostics->SetTrace("1")) {
      PrintErr("warning: the library offers no trace\n");
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
    // A result code's name alone says little to a user: the sentence goes first.
    if (const char* sentence = cli::ResultCodeSentence(line)) {
      line = std::string(sentence) + " (" + line + ")";
    }
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

const Command kCommands[] = {
    {&kInterfacesCommand, CommandInterfaces},
    {&kOrderCommand, CommandOrder},
    {&kListCommand, CommandList},
    {&kOpenCommand, CommandOpen},
    {&kConvertCommand, CommandConvert},
    {&kInfoCommand, CommandInfo},
    {&kToneCommand, CommandTone},
    {&kSettingsCommand, CommandSettings},
    {&kLanguagesCommand, CommandLanguages},
    {&kDoctorCommand, CommandDoctor},
};
const size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

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

// Ctrl+C and Ctrl+Break end a command that set no handler of its own with the status
// shells give an interrupted program; a command with partial output to remove sets its
// own, which Windows asks first.
BOOL WINAPI EndOnBreak(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  ExitProcess(kExitInterrupted);
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

int UsageError(const cli::CommandDef& command, const char* format, ...) {
  va_list args;
  va_start(args, format);
  PrintErr("error: ");
  PrintTo(stderr, STD_ERROR_HANDLE, format, args);
  va_end(args);
  PrintErr("\n%s", cli::ShortUsage(command).c_str());
  return 2;
}

std::string Utf8OfAnsi(const std::string& text) { return Utf8(Wide(text, CP_ACP)); }

bool PrintJson(const JsonWriter& json) {
  if (!json.ok()) {
    PrintErr("error: the JSON output came out malformed; nothing is printed\n");
    return false;
  }
  std::fflush(stdout);
  std::fwrite(json.str().data(), 1, json.str().size(), stdout);
  std::fflush(stdout);
  return true;
}

// The manager's interface is 8-bit: a name that the system code page cannot spell goes
// through its short form, which is plain ASCII, when the volume keeps short names.
bool WideCommandLine(Args& args) {
  args.clear();
  // Split here rather than by the shell's CommandLineToArgvW: the shell brings the window
  // system with it, which under Wine costs every run a few hundredths of a second.
  const std::vector<std::wstring> wide = cli::SplitCommandLine(GetCommandLineW());
  bool ok = true;
  for (size_t i = 1; i < wide.size() && ok; ++i) {
    std::string arg;
    if (!Ansi(wide[i], arg)) {
      const DWORD n = GetShortPathNameW(wide[i].c_str(), nullptr, 0);
      std::wstring shortName(n, L'\0');
      const DWORD got = n ? GetShortPathNameW(wide[i].c_str(), &shortName[0], n) : 0;
      shortName.resize(got < n ? got : 0);
      if (shortName.empty() || !Ansi(shortName, arg)) {
        WriteWide(stderr, STD_ERROR_HANDLE,
                  L"error: " + wide[i] + L": the name has characters outside code page " +
                      std::to_wstring(GetACP()) +
                      L" and no short (8.3) form, so it cannot pass the manager's 8-bit "
                      L"interface; rename it, or name an existing file on a volume that keeps "
                      L"short names\n");
        ok = false;
      }
    }
    args.push_back(arg);
  }
  return ok;
}

}  // namespace host

int main() {
  host::Args all;
  if (!host::WideCommandLine(all)) return 2;
  // The doctor's check of one file, in a process of its own; not a user's command.
  if (!all.empty() && all[0] == host::kDoctorChildCommand) {
    return host::CommandDoctorChild(host::Args(all.begin() + 1, all.end()));
  }
  const host::cli::CommandDef* defs[host::kCommandCount];
  for (size_t i = 0; i < host::kCommandCount; ++i) defs[i] = host::kCommands[i].def;
  const host::cli::ParsedLine line = host::cli::Parse(all, defs, host::kCommandCount);
  using Action = host::cli::ParsedLine::Action;
  switch (line.action) {
    case Action::kUsage:
      host::PrintErr("%s", host::cli::GeneralHelp(defs, host::kCommandCount).c_str());
      return 2;
    case Action::kError:
      host::PrintErr("error: %s\n", line.error.c_str());
      host::PrintErr("%s", line.command ? host::cli::ShortUsage(*line.command).c_str()
                                        : (host::cli::GeneralUsage() +
                                           "Run 'tunebay-host help' for the commands.\n")
                                              .c_str());
      return 2;
    case Action::kHelp:
      host::PrintOut("%s", line.command
                               ? host::cli::CommandHelp(*line.command).c_str()
                               : host::cli::GeneralHelp(defs, host::kCommandCount).c_str());
      return 0;
    case Action::kVersion:
      return host::PrintVersion();
    case Action::kRun:
      break;
  }
  if (line.Has("lang")) {
    const std::string value = line.Value("lang");
    uint16_t language = 0;
    if (!host::ParseLanguageId(value, language)) {
      return host::UsageError(*line.command,
                              "--lang wants a LANGID from 0 to 0xFFFF such as 0x0407, not '%s'",
                              value.c_str());
    }
    host::g_language = int(language);
  }
  host::g_verbosity = line.Verbosity();
  SetConsoleCtrlHandler(host::EndOnBreak, TRUE);
  for (const host::Command& c : host::kCommands) {
    if (c.def == line.command) return c.run(line);
  }
  return 2;
}
