// tunebay-host convert, several inputs or folders at once: every audio file found is
// converted into --out-dir, keeping its place under the folder it was found in.
//
// Each file is converted by a child process running the single-file convert, so a
// plug-in that crashes on one file costs that file only, and each file's output still
// appears only when it is complete. The parent finds the files (those whose extension a
// decoder lists), decides on existing outputs (-y, -n), shows where it is, and reports
// every failure at the end.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "host_support.h"

namespace host {

namespace {

struct Options {
  std::vector<std::string> inputs;
  std::string outDir;
  std::string to = "wav";
  bool overwrite = false;
  bool skipExisting = false;
  std::string format;  // as typed, passed on; empty for the input's own
  ManagerOptions manager;
  std::vector<std::string> passOn;  // options each single-file convert gets as they are
};

// False after printing why (UsageError) for a line that makes no sense.
bool Parse(const cli::ParsedLine& line, Options& options) {
  const cli::CommandDef& def = *line.command;
  options.inputs = line.operands;
  options.outDir = line.Value("out-dir");
  options.to = line.Value("to", "wav");
  if (options.to != "flac" && options.to != "wav") {
    UsageError(def, "--to takes flac or wav, not '%s'", options.to.c_str());
    return false;
  }
  options.overwrite = line.Has("y");
  options.skipExisting = line.Has("n");
  if (options.overwrite && options.skipExisting) {
    UsageError(def, "-y and -n exclude each other");
    return false;
  }
  if (options.outDir.empty()) {
    UsageError(def, "convert of several inputs needs --out-dir DIR");
    return false;
  }
  if (line.Has("tags-from-name") && line.Has("no-tags")) {
    UsageError(def, "--tags-from-name and --no-tags exclude each other");
    return false;
  }
  cli::FormatRequest format;
  if (!FormatOptionOf(line, format)) return false;
  options.format = line.Has("cd") ? "44100:16:2" : line.Value("format");
  options.manager = ManagerOptionsOf(line);
  std::vector<std::string>& on = options.passOn;
  if (line.Has("encoder")) on.insert(on.end(), {"--encoder", line.Value("encoder")});
  if (line.Has("level")) on.insert(on.end(), {"--level", line.Value("level")});
  if (line.Has("plugins")) on.insert(on.end(), {"--plugins", options.manager.plugins});
  if (line.Has("keys")) {
    on.insert(on.end(), {"--keys", options.manager.keyName1, options.manager.keyName2});
  }
  for (const char* flag : {"no-dither", "tags-from-name", "no-tags", "quiet"}) {
    if (line.Has(flag)) on.push_back(std::string("--") + flag);
  }
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return text;
}

std::string ExtensionOf(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  const size_t slash = name.find_last_of("\\/");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(name.substr(dot + 1));
}

// The output name of a URL: the last part of its path without the extension, with the
// characters a file name cannot hold replaced; empty when that leaves no usable name.
std::string UrlStem(const std::string& url) {
  std::string path = url.substr(0, url.find_first_of("?#"));
  const size_t scheme = path.find("://");
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash < scheme + 3 || path.find('/', scheme + 3) == path.npos) {
    return std::string();
  }
  std::string name = path.substr(slash + 1);
  const std::string ext = ExtensionOf(name);
  if (!ext.empty()) name.resize(name.size() - ext.size() - 1);
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"/\\|?*", c)) c = '_';
  }
  if (name.find_first_not_of(". ") == std::string::npos) return std::string();
  return name;
}

// The extensions the catalogue's decoders list, lower case.
bool DecoderExtensions(const Options& options, std::set<std::string>& extensions) {
  return RunWithManager(options.manager, [&extensions](tb::IManager* manager) {
           tb::com_ptr<tb::IManager> self(manager);
           auto catalogue = self.query<tb::IComponentCollection>();
           if (!catalogue) return 1;
           for (int32_t i = 0; i < catalogue->GetCount(); ++i) {
             tb::com_ptr<tb::IComponent> component;
             if (!catalogue->GetItem(i, component.put()) || !component) continue;
             if (component->GetKind() != tb::kKindDecoder) continue;
             auto list = component.query<tb::IExtensionList>();
             if (!list) continue;
             for (int32_t k = 0; k < list->GetCount(); ++k) {
               const char* ext = list->GetExtension(k);
               if (ext && *ext) extensions.insert(Lower(ext));
             }
           }
           return 0;
         }) == 0;
}

struct Job {
  std::string input;     // full path
  std::string relative;  // under the output folder, without extension
};

// Every file under `folder` whose extension is in `extensions`, in name order.
void Walk(const std::string& folder, const std::string& relative,
          const std::set<std::string>& extensions, std::vector<Job>& jobs) {
  WIN32_FIND_DATAA found;
  const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  std::vector<std::pair<std::string, bool>> entries;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    entries.emplace_back(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  std::sort(entries.begin(), entries.end());
  for (const auto& e : entries) {
    const std::string path = folder + "\\" + e.first;
    const std::string rel = relative.empty() ? e.first : relative + "\\" + e.first;
    if (e.second) {
      Walk(path, rel, extensions, jobs);
    } else if (extensions.count(ExtensionOf(e.first)) != 0) {
      jobs.push_back({path, rel.substr(0, rel.size() - ExtensionOf(e.first).size() - 1)});
    }
  }
}

bool MakeFolders(const std::string& path) {
  for (size_t at = path.find_first_of("\\/", 3); at != std::string::npos;
       at = path.find_first_of("\\/", at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string QuoteArg(const std::string& arg) {
  std::string out = "\"";
  for (char c : arg) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Runs the single-file convert in a child process; its exit status, or -1 when it could
// not be started.
int RunChild(const Options& options, const std::string& input, const std::string& output) {
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return -1;
  std::string line = QuoteArg(self) + " convert " + QuoteArg(input) + " " + QuoteArg(output);
  // The names are whole: the child's own output decision is -y, made here.
  line += " -y";
  if (!options.format.empty()) line += " --format=" + QuoteArg(options.format);
  for (const std::string& arg : options.passOn) line += " " + QuoteArg(arg);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<char> mutableLine(line.begin(), line.end());
  mutableLine.push_back('\0');
  if (!CreateProcessA(self, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

// Ctrl+C reaches the converting child too, which removes its partial output; the
// batch stops after it.
volatile LONG g_batchInterrupted = 0;

BOOL WINAPI OnBatchBreak(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  InterlockedExchange(&g_batchInterrupted, 1);
  return TRUE;
}

}  // namespace

bool IsBatchConvert(const cli::ParsedLine& line) {
  return line.Has("out-dir") || line.Has("to") || line.Has("cd") || line.operands.size() > 2;
}

int CommandConvertBatch(const cli::ParsedLine& line) {
  Options options;
  if (!Parse(line, options)) return 2;

  std::set<std::string> extensions;
  if (!DecoderExtensions(options, extensions)) return 1;
  std::vector<Job> jobs;
  std::vector<std::string> failures;
  for (const std::string& typed : options.inputs) {
    const std::string full = SourceNameOf(typed);
    if (full.find("://") != std::string::npos) {
      // The single-file convert downloads a URL; its output is named after the URL.
      const std::string stem = UrlStem(full);
      if (stem.empty()) {
        failures.push_back(typed + ": the URL names no file to name the output after");
      } else {
        jobs.push_back({full, stem});
      }
      continue;
    }
    const DWORD attributes = GetFileAttributesA(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      failures.push_back(typed + ": not found");
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      Walk(full, "", extensions, jobs);
    } else {
      const size_t slash = full.find_last_of("\\/");
      const std::string name = full.substr(slash + 1);
      const std::string ext = ExtensionOf(name);
      jobs.push_back({full, ext.empty() ? name : name.substr(0, name.size() - ext.size() - 1)});
    }
  }
  const std::string outDir = SourceNameOf(options.outDir);
  if (!MakeFolders(outDir)) {
    std::fprintf(stderr, "error: cannot make the folder %s\n", outDir.c_str());
    return 1;
  }

  size_t converted = 0, skipped = 0;
  SetConsoleCtrlHandler(OnBatchBreak, TRUE);
  // Two inputs that map to one output (a.flac and a.mp3 side by side) must not have the
  // second silently replace the first's output, even with -y.
  std::set<std::string> taken;
  const double started = Now();
  for (size_t i = 0; i < jobs.size(); ++i) {
    const Job& job = jobs[i];
    const std::string output = outDir + "\\" + job.relative + "." + options.to;
    if (!Quiet()) {
      std::printf("[%zu/%zu %3d%%] %s\n", i + 1, jobs.size(),
                  static_cast<int>(100 * i / jobs.size()), job.input.c_str());
    }
    std::fflush(stdout);
    if (!taken.insert(Lower(output)).second) {
      failures.push_back(job.input + ": " + output + " is the output of an earlier input too");
      continue;
    }
    if (GetFileAttributesA(output.c_str()) != INVALID_FILE_ATTRIBUTES && !options.overwrite) {
      if (options.skipExisting) {
        if (!Quiet()) std::printf("  skipped: %s exists\n", output.c_str());
        ++skipped;
      } else {
        failures.push_back(job.input + ": " + output + " exists (-y overwrites, -n skips)");
      }
      continue;
    }
    const size_t slash = output.find_last_of('\\');
    if (!MakeFolders(output.substr(0, slash))) {
      failures.push_back(job.input + ": cannot make the folder for " + output);
      continue;
    }
    const int status = RunChild(options, job.input, output);
    if (status == kExitInterrupted || InterlockedCompareExchange(&g_batchInterrupted, 0, 0)) {
      std::printf("interrupted: %zu converted, %zu not done\n", converted, jobs.size() - i);
      return kExitInterrupted;
    }
    if (status == 0) {
      ++converted;
    } else {
      failures.push_back(job.input +
                         (status < 0 ? ": the converting process did not start"
                                     : ": failed (exit status " + std::to_string(status) + ")"));
    }
    std::fflush(stdout);
  }
  if (!Quiet() || !failures.empty()) {
    std::printf("%zu converted, %zu skipped, %zu failed in %.1f s\n", converted, skipped,
                failures.size(), Now() - started);
  }
  for (const std::string& failure : failures) std::printf("  failed: %s\n", failure.c_str());
  return failures.empty() ? 0 : 1;
}

}  // namespace host
