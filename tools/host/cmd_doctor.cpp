// tunebay-host doctor: checks plug-in files one at a time, as a plug-in validator does,
// and says what stops each from being used. Every file is checked by a process of its
// own (the tool run again with a hidden command), so a plug-in that crashes or hangs
// is reported as such and the others are still checked.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/entry_call.h"
#include "base/fault_guard.h"
#include "base/image_check.h"
#include "host_support.h"
#include "json.h"
#include "plugin_report.h"

namespace host {

const char* const kDoctorChildCommand = "__doctor-check";

namespace {

const cli::OptionDef kDoctorOptions[] = {
    {"json", '\0', 0, nullptr, "print the results as JSON (fields in docs/host-tool.md)"},
    {"timeout", '\0', 1, "SECONDS", "how long one file's check may take (default 30)"},
};

// The registry key names of the manager that a check sets components up with: not the
// tool's, so that a check never stores a decoder order over the user's.
const char* const kCheckKeyName1 = "Tunebay";
const char* const kCheckKeyName2 = "Doctor";

struct Check {
  std::string status;  // "ok", "fail", "info"
  std::string name;
  std::string text;
};

struct FileReport {
  std::string path;
  std::vector<Check> checks;
  bool failed = false;
};

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FullPath(const std::string& typed) {
  char buffer[MAX_PATH];
  const DWORD length = GetFullPathNameA(typed.c_str(), MAX_PATH, buffer, nullptr);
  return length == 0 || length >= MAX_PATH ? typed : std::string(buffer, length);
}

// ---- The check of one file, in the child process ----

// Lines "status<TAB>check<TAB>text" on the standard output, each flushed at once so
// that the parent has everything up to a crash. "run" announces a call into the
// plug-in before it is made.
class Emitter {
 public:
  void operator()(const char* status, const char* check, const std::string& text) {
    std::string line = std::string(status) + "\t" + check + "\t" + text;
    for (char& c : line) c = (c == '\r' || c == '\n') ? ' ' : c;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (std::strcmp(status, "fail") == 0) failed = true;
  }
  bool failed = false;
};

template <class I>
bool Offers(IUnknown* object) {
  void* face = nullptr;
  if (FAILED(object->QueryInterface(tb::iid_of<I>(), &face)) || !face) return false;
  static_cast<I*>(face)->Release();
  return true;
}

template <>
bool Offers<tb::ISourceOpener>(IUnknown* object) {
  void* face = nullptr;
  if (FAILED(object->QueryInterface(tb::iid_of<tb::ISourceOpener>(), &face)) || !face) {
    return false;
  }
  tb::opener_unknown(static_cast<tb::ISourceOpener*>(face))->Release();
  return true;
}

std::string Text(const char* text) { return text ? text : ""; }

// What a component says of itself: kind, name, vendor, interfaces and extensions.
std::string Describe(tb::IComponent* component) {
  std::string text =
      std::string(KindName(component->GetKind())) + " \"" + Text(component->GetName()) + "\"";
  tb::com_ptr<tb::IComponent> self(component);
  if (auto about = self.query<tb::IComponentAbout>()) {
    text += ", vendor \"" + Text(about->GetVendor()) + "\"";
  }
  std::string faces;
  auto add = [&faces](bool offered, const char* name) {
    if (offered) faces += (faces.empty() ? "" : ", ") + std::string(name);
  };
  add(Offers<tb::IComponentIdentity>(component), "IComponentIdentity");
  add(Offers<tb::IComponentAbout>(component), "IComponentAbout");
  add(Offers<tb::ISettingsDialog>(component), "ISettingsDialog");
  add(Offers<tb::IExtensionList>(component), "IExtensionList");
  add(Offers<tb::ISourceOpener>(component), "ISourceOpener");
  add(Offers<tb::ISinkFactory>(component), "ISinkFactory");
  add(Offers<tb::IConvertor>(component), "IConvertor");
  add(Offers<tb::IDownloader>(component), "IDownloader");
  text += "; offers " + (faces.empty() ? std::string("no further interface") : faces);
  if (auto extensions = self.query<tb::IExtensionList>()) {
    std::string list;
    const int32_t count = std::min<int32_t>(extensions->GetCount(), 64);
    for (int32_t i = 0; i < count; ++i) {
      list += (i ? ", " : "") + Text(extensions->GetExtension(i));
    }
    text += "; extensions: " + (list.empty() ? std::string("none") : list);
  }
  return text;
}

// The catalogue's view of a primary object: collections give their members, nested up
// to a limit.
void Flatten(tb::IComponent* component, int depth, std::vector<tb::com_ptr<tb::IComponent>>& out) {
  if (component->GetKind() == tb::kKindCollection && depth < 16) {
    tb::com_ptr<tb::IComponentCollection> collection =
        tb::com_ptr<tb::IComponent>(component).query<tb::IComponentCollection>();
    if (collection) {
      const int32_t count = collection->GetCount();
      for (int32_t i = 0; i < count; ++i) {
        tb::com_ptr<tb::IComponent> item;
        if (collection->GetItem(i, item.put()) && item) Flatten(item.get(), depth + 1, out);
      }
      return;
    }
  }
  out.push_back(tb::com_ptr<tb::IComponent>(component));
}

// The checks that read the file only. False when the library cannot be loaded here.
bool CheckImage(const std::string& path, Emitter& emit) {
  tb::PeImage image;
  tb::ReadImageFile(path, image);
  if (!image.valid()) {
    emit("fail", "image", image.problem);
    return false;
  }
  emit(image.machine == tb::kMachineI386 && image.isDll() ? "ok" : "info", "image",
       tb::MachineName(image.machine) + (image.wide ? " (64-bit)" : " (32-bit)") +
           (image.isDll() ? " library" : " program, not a library") + ", " +
           tb::SubsystemName(image.subsystem) + " subsystem");
  if (image.machine != tb::kMachineI386) {
    emit("fail", "machine",
         "built for " + tb::MachineName(image.machine) +
             "; plug-ins must be 32-bit x86 libraries, as tunebay.dll is");
  }
  if (!image.isDll()) emit("fail", "image", "a program, not a library");
  for (const char* entry : {TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT, TB_ENTRY_READY_TO_FINISH}) {
    if (image.exportsName(entry)) {
      emit("ok", "entry-point", std::string("exports ") + entry);
    } else {
      emit("fail", "entry-point", std::string("does not export ") + entry);
    }
  }
  const std::vector<tb::UnresolvedImport> unresolved = tb::FindUnresolvedImports(path, image);
  for (const tb::UnresolvedImport& import : unresolved) {
    const std::string who = import.neededBy == BaseName(path) ? "" : import.neededBy + " ";
    emit("fail", "imports", who + tb::DescribeUnresolvedImport(import));
  }
  if (unresolved.empty()) {
    emit("ok", "imports",
         "all " + std::to_string(image.imports.size()) + " imported libraries resolve");
  }
  return image.machine == tb::kMachineI386 && image.isDll();
}

// Loads the library and walks it as the scan does. Runs with the manager initialised
// over an empty folder, so that components set up against a real manager.
void CheckLibrary(const std::string& path, tb::IManager* manager, Emitter& emit) {
  const std::string folder = path.substr(0, path.size() - BaseName(path).size());
  if (!folder.empty()) SetCurrentDirectoryA(folder.c_str());
  DWORD previous = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
  emit("run", "load", "");
  HMODULE module = LoadLibraryA(path.c_str());
  const DWORD loadError = GetLastError();
  SetThreadErrorMode(previous, nullptr);
  if (!module) {
    emit("fail", "load",
         "the system does not load it (error " + std::to_string(loadError) +
             "): " + tb::ExplainLoadFailure(path, loadError));
    return;
  }
  emit("ok", "load", "loaded");
  const void* primaryEntry =
      reinterpret_cast<const void*>(GetProcAddress(module, TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT));
  const void* readyEntry =
      reinterpret_cast<const void*>(GetProcAddress(module, TB_ENTRY_READY_TO_FINISH));
  if (!primaryEntry || !readyEntry) {
    // The image check has named the missing one; the scan unloads such a library.
    FreeLibrary(module);
    return;
  }

  tb::IComponent* primary = nullptr;
  bool result = false;
  unsigned long fault = 0;
  emit("run", "primary", "");
  if (!tb::GuardedBoolCall1(primaryEntry, &primary, &result, &fault)) {
    emit("fail", "primary",
         std::string("fault caught in ") + TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT + ": " +
             FaultText(fault));
    return;  // left loaded: its state is unknown
  }
  if (!result || !primary) {
    emit("fail", "primary",
         std::string(TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT) +
             (result ? " answered true but gave no object" : " answered false"));
    primary = nullptr;
  } else {
    emit("ok", "primary", "gave its primary object");
  }

  std::vector<tb::com_ptr<tb::IComponent>> components;
  std::vector<tb::com_ptr<tb::IComponent>> setUp;
  if (primary) {
    tb::com_ptr<tb::IComponent> root = tb::com_ptr<tb::IComponent>::adopt(primary);
    emit("run", "components", "");
    Flatten(root.get(), 0, components);
    if (components.empty()) emit("fail", "components", "the primary object holds no component");
    for (size_t i = 0; i < components.size(); ++i) {
      tb::IComponent* component = components[i].get();
      const std::string label = "#" + std::to_string(i) + " ";
      emit("info", "component", label + Describe(component));
      tb::com_ptr<tb::IError> error;
      bool ok = false;
      emit("run", "setup", "");
      if (!tb::Guarded([&] { ok = component->Setup(manager, error.put()); }, &fault)) {
        emit("fail", "setup", label + "fault caught in Setup: " + FaultText(fault));
      } else if (!ok) {
        emit("fail", "setup", label + "Setup answered false; the manager drops the component");
      } else {
        emit("ok", "setup", label + "set up");
        setUp.push_back(components[i]);
      }
    }
  }
  emit("run", "shutdown", "");
  for (tb::com_ptr<tb::IComponent>& component : setUp) {
    tb::IComponent* raw = component.get();
    if (!tb::Guarded([&] { raw->Shutdown(); }, &fault)) {
      emit("fail", "shutdown", "fault caught in Shutdown: " + FaultText(fault));
    }
  }
  setUp.clear();
  components.clear();

  emit("run", "ready", "");
  if (!tb::GuardedBoolCall0(readyEntry, &result, &fault)) {
    emit("fail", "ready",
         std::string("fault caught in ") + TB_ENTRY_READY_TO_FINISH + ": " + FaultText(fault));
    return;
  }
  if (!result) {
    emit("fail", "ready",
         std::string(TB_ENTRY_READY_TO_FINISH) +
             " answered false with every object released: the manager could never unload it");
    return;
  }
  emit("ok", "ready", std::string(TB_ENTRY_READY_TO_FINISH) + " answered true after release");
  FreeLibrary(module);
}

// ---- The parent: one child per file ----

struct ChildResult {
  std::string output;
  bool timedOut = false;
  DWORD exitCode = 0;
  bool started = false;
  std::string startError;
};

ChildResult RunChild(const std::string& file, DWORD timeoutMs) {
  ChildResult result;
  char exe[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, exe, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    result.startError = "the tool's own path is unknown";
    return result;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    result.startError = tb::SystemErrorText(GetLastError());
    return result;
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string command =
      "\"" + std::string(exe, length) + "\" " + kDoctorChildCommand + " \"" + file + "\"";
  PROCESS_INFORMATION process{};
  const BOOL created = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  const DWORD createError = GetLastError();
  CloseHandle(writeEnd);
  if (!created) {
    CloseHandle(readEnd);
    result.startError = tb::SystemErrorText(createError);
    return result;
  }
  result.started = true;
  CloseHandle(process.hThread);
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  char buffer[4096];
  for (;;) {
    const DWORD wait = WaitForSingleObject(process.hProcess, 20);
    DWORD available = 0;
    while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      DWORD got = 0;
      if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) ||
          got == 0) {
        break;
      }
      result.output.append(buffer, got);
    }
    if (wait == WAIT_OBJECT_0) break;
    if (GetTickCount64() >= deadline) {
      result.timedOut = true;
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
  }
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    result.output.append(buffer, got);
  }
  GetExitCodeProcess(process.hProcess, &result.exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(readEnd);
  return result;
}

FileReport CheckInChild(const std::string& path, DWORD timeoutMs) {
  FileReport report;
  report.path = path;
  const ChildResult child = RunChild(path, timeoutMs);
  if (!child.started) {
    report.checks.push_back({"fail", "process", "the check cannot start: " + child.startError});
    report.failed = true;
    return report;
  }
  std::string running;  // the call the child announced and did not finish
  size_t start = 0;
  while (start < child.output.size()) {
    size_t end = child.output.find('\n', start);
    if (end == std::string::npos) end = child.output.size();
    std::string line = child.output.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t tab1 = line.find('\t');
    const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) continue;
    Check check{line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1),
                line.substr(tab2 + 1)};
    if (check.status == "run") {
      running = check.name;
      continue;
    }
    running.clear();
    if (check.status == "fail") report.failed = true;
    report.checks.push_back(check);
  }
  const std::string during = running.empty() ? "" : " during the " + running + " step";
  if (child.timedOut) {
    report.checks.push_back({"fail", "hang",
                             "no answer within " + std::to_string(timeoutMs / 1000) + " s" +
                                 during + "; the check was stopped"});
    report.failed = true;
  } else if (child.exitCode != 0 && child.exitCode != 1) {
    report.checks.push_back(
        {"fail", "crash", "the check process ended" + during + ": " + FaultText(child.exitCode)});
    report.failed = true;
  }
  return report;
}

bool PrintJsonReports(const std::vector<FileReport>& reports, bool failed) {
  JsonWriter json;
  json.BeginObject().Key("ok").Bool(!failed).Key("files").BeginArray();
  for (const FileReport& r : reports) {
    json.BeginObject().Key("file").String(Utf8OfAnsi(r.path)).Key("ok").Bool(!r.failed);
    json.Key("checks").BeginArray();
    for (const Check& c : r.checks) {
      json.BeginObject().Key("check").String(c.name).Key("status").String(c.status);
      json.Key("text").String(Utf8OfAnsi(c.text)).EndObject();
    }
    json.EndArray().EndObject();
  }
  json.EndArray().EndObject();
  return PrintJson(json);
}

void PrintText(const std::vector<FileReport>& reports) {
  for (const FileReport& r : reports) {
    PrintOut("%s: %s\n", r.path.c_str(), r.failed ? "PROBLEM" : "ok");
    for (const Check& c : r.checks) {
      PrintOut("  %-4s  %-11s  %s\n", c.status == "fail" ? "FAIL" : c.status.c_str(),
               c.name.c_str(), c.text.c_str());
    }
  }
}

}  // namespace

int CommandDoctorChild(const Args& args) {
  if (args.size() != 1) return 2;
  // A crash ends this process quietly, with its code, for the parent to report.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  const std::string path = FullPath(args[0]);
  Emitter emit;
  Session session;
  if (!OpenSession(session)) {
    emit("fail", "library", "tunebay.dll cannot be loaded beside the tool");
    return 1;
  }
  tb::com_ptr<tb::IPluginDiagnostics> diagnostics = DiagnosticsOf(session.manager);
  const std::string name = BaseName(path);
  if (diagnostics && !diagnostics->IsAdmittedFileName(name.c_str())) {
    emit("fail", "name",
         "the scan skips " + name +
             ": a plug-in's file name starts with \"zq\" (or is one "
             "of the suite's allow-listed names) and ends in .dll");
  } else {
    emit("ok", "name", "the scan admits the name " + name);
  }
  if (CheckImage(path, emit)) {
    // An empty folder of our own: the manager is set up with nothing else in it.
    char temp[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    std::string empty = (n > 0 && n < MAX_PATH ? std::string(temp, n) : std::string(".\\")) +
                        "tunebay-doctor-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(empty.c_str(), nullptr);
    ManagerOptions options;
    options.plugins = empty;
    options.keyName1 = kCheckKeyName1;
    options.keyName2 = kCheckKeyName2;
    if (InitialiseManager(session.manager, options)) {
      CheckLibrary(path, session.manager, emit);
      session.manager->Finish();
    } else {
      emit("fail", "manager", "the manager cannot be initialised for the check");
    }
    RemoveDirectoryA(empty.c_str());
  }
  diagnostics.reset();
  CloseSession(session);
  return emit.failed ? 1 : 0;
}

const cli::CommandDef kDoctorCommand = {
    "doctor",
    "checks plug-in files one by one and says what keeps each from working",
    "doctor [--json] [--timeout SECONDS] [DIR|FILE...]",
    "Checks plug-in libraries one by one and names what keeps each from being used: the\n"
    "file name rule, the image (machine, subsystem, a library at all), imports that do\n"
    "not resolve, both entry points, the primary object, each component (kind, name,\n"
    "vendor, interfaces, extensions) and its Setup, and ReadyToFinish once everything\n"
    "is released. A folder means its *.dll files; without arguments, the tool's plug-in\n"
    "folder. Each file is checked in a process of its own, so a plug-in that crashes or\n"
    "hangs is reported, not fatal.\n",
    kDoctorOptions,
    sizeof kDoctorOptions / sizeof kDoctorOptions[0],
    false,
    "Exit status: 0 when every file checked is a working plug-in, 1 when any has a\n"
    "problem, 2 for bad arguments.\n",
    0,
    cli::kAnyCount};

int CommandDoctor(const cli::ParsedLine& line) {
  DWORD timeoutMs = 30000;
  if (line.Has("timeout")) {
    const std::string text = line.Value("timeout");
    char* end = nullptr;
    const unsigned long seconds = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || !end || *end || seconds == 0 || seconds > 3600) {
      return UsageError(kDoctorCommand, "--timeout wants whole seconds from 1 to 3600, not '%s'",
                        text.c_str());
    }
    timeoutMs = static_cast<DWORD>(seconds * 1000);
  }
  const bool asJson = line.Has("json");
  std::vector<std::string> paths = line.operands;
  if (paths.empty()) paths.push_back(ExeFolder() + "plugins");

  // Which names the scan admits, asked of the library once.
  Session session;
  if (!OpenSession(session)) return 1;
  tb::com_ptr<tb::IPluginDiagnostics> diagnostics = DiagnosticsOf(session.manager);

  std::vector<FileReport> reports;
  bool failed = false;
  for (const std::string& typed : paths) {
    const std::string path = FullPath(typed);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      reports.push_back({path, {{"fail", "file", "no such file or folder"}}, true});
      failed = true;
      continue;
    }
    std::vector<std::string> files;
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder) {
      WIN32_FIND_DATAA entry;
      const std::string base = path + (path.back() == '\\' ? "" : "\\");
      HANDLE search = FindFirstFileA((base + "*.dll").c_str(), &entry);
      if (search != INVALID_HANDLE_VALUE) {
        do {
          if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            files.push_back(base + entry.cFileName);
          }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
      }
      std::sort(files.begin(), files.end());
      if (files.empty()) {
        reports.push_back({path, {{"info", "folder", "no .dll files"}}, false});
      }
    } else {
      files.push_back(path);
    }
    for (const std::string& file : files) {
      // In a folder, a library the scan does not admit is no plug-in (often one a
      // plug-in needs); named on its own, it is checked in full.
      const std::string name = BaseName(file);
      if (folder && diagnostics && !diagnostics->IsAdmittedFileName(name.c_str())) {
        reports.push_back(
            {file,
             {{"info", "name",
               "skipped by the scan: not a plug-in name (a \"zq\" prefix or an allow-listed "
               "name); fine for a library a plug-in needs"}},
             false});
        continue;
      }
      reports.push_back(CheckInChild(file, timeoutMs));
      failed = failed || reports.back().failed;
    }
  }
  diagnostics.reset();
  CloseSession(session);

  if (asJson) {
    if (!PrintJsonReports(reports, failed)) return 1;
  } else {
    PrintText(reports);
    const size_t problems = static_cast<size_t>(std::count_if(
        reports.begin(), reports.end(), [](const FileReport& r) { return r.failed; }));
    PrintOut("%u file%s checked, %u with problems\n", static_cast<unsigned>(reports.size()),
             reports.size() == 1 ? "" : "s", static_cast<unsigned>(problems));
  }
  return failed ? 1 : 0;
}

}  // namespace host
