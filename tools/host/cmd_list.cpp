// tunebay-host list: initialises the manager over a plug-in folder, prints the
// catalogue (each component's name and kind, the library it came from and its index
// there) and finishes again, as a host does at start and exit.
#include <cstdio>
#include <string>
#include <vector>

#include "base/com.h"
#include "host_support.h"
#include "plugin_report.h"

namespace host {

namespace {

const CommandHelp kListHelp = {
    "usage: tunebay-host list [--plugins DIR] [--keys NAME1 NAME2] [--json] [--verbose]\n"
    "\n"
    "Loads the plug-ins of a folder as a host does and lists the components they offer,\n"
    "in catalogue order: name, kind, the library file and the component's index in the\n"
    "collection that delivered it. Then finishes, unloading the plug-ins.\n"
    "\n",
    "  --json               print the catalogue as JSON (texts in UTF-8)\n"
    "  --verbose            also every file of the folder that gave no component, and why\n"
    "\n"
    "Exit status: 0 when the plug-ins were loaded and unloaded again, 1 when the manager\n"
    "failed, 2 for bad arguments.\n"};

struct Options {
  bool help = false;
  bool json = false;
  bool verbose = false;
  ManagerOptions manager;
};

bool Parse(const Args& args, Options& options) {
  DefaultManagerOptions(options.manager);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--verbose" || arg == "-v") {
      options.verbose = true;
    } else if (TakeManagerOption(args, i, options.manager)) {
    } else {
      std::fprintf(stderr, "error: unknown argument or missing value: %s\n", arg.c_str());
      return false;
    }
  }
  return true;
}

struct Entry {
  std::string name;
  int32_t kind = 0;
  std::string module;
  int32_t index = 0;
};

const char* KindName(int32_t kind) {
  switch (kind) {
    case tb::kKindDecoder:
      return "decoder";
    case tb::kKindEncoder:
      return "encoder";
    case tb::kKindConvertor:
      return "convertor";
    case tb::kKindDownloader:
      return "downloader";
    default:
      return "other";
  }
}

// The components are copied out and let go at once: nothing may hold them when Finish
// unloads their libraries.
bool ReadCatalogue(tb::IManager* manager, std::vector<Entry>& entries) {
  tb::com_ptr<tb::IManager> self(manager);
  tb::com_ptr<tb::IComponentCollection> catalogue = self.query<tb::IComponentCollection>();
  tb::com_ptr<tb::IComponentOrigin> origins = self.query<tb::IComponentOrigin>();
  if (!catalogue || !origins) {
    std::fprintf(stderr, "error: the manager offers no catalogue\n");
    return false;
  }
  const int32_t count = catalogue->GetCount();
  for (int32_t i = 0; i < count; ++i) {
    tb::com_ptr<tb::IComponent> component;
    if (!catalogue->GetItem(i, component.put()) || !component) continue;
    Entry entry;
    const char* name = component->GetName();
    entry.name = name ? name : "";
    entry.kind = component->GetKind();
    tb::ComponentOrigin origin{};
    if (origins->GetComponentOrigin(component.get(), &origin)) {
      origin.moduleFileName[tb::kOriginNameSize - 1] = '\0';
      entry.module = origin.moduleFileName;
      entry.index = origin.index;
    }
    entries.push_back(entry);
  }
  return true;
}

// A text in the system code page as a JSON string in UTF-8.
std::string JsonString(const std::string& text) {
  std::string utf8 = text;
  const int wide = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (wide > 0) {
    std::vector<wchar_t> buffer(static_cast<size_t>(wide));
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer.data(), wide);
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, buffer.data(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes > 0) {
      std::vector<char> out(static_cast<size_t>(bytes));
      WideCharToMultiByte(CP_UTF8, 0, buffer.data(), -1, out.data(), bytes, nullptr, nullptr);
      utf8.assign(out.data());
    }
  }
  std::string quoted = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

void PrintJson(const Options& options, const std::vector<Entry>& entries,
               const std::vector<tb::LoadRecord>& records) {
  std::printf("{\n  \"pluginFolder\": %s,\n  \"components\": [",
              JsonString(options.manager.plugins).c_str());
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    std::printf(
        "%s\n    {\"name\": %s, \"kind\": %ld, \"kindName\": \"%s\", \"module\": %s, "
        "\"index\": %ld}",
        i ? "," : "", JsonString(e.name).c_str(), static_cast<long>(e.kind), KindName(e.kind),
        JsonString(e.module).c_str(), static_cast<long>(e.index));
  }
  std::printf("%s]", entries.empty() ? "" : "\n  ");
  if (options.verbose) {
    std::printf(",\n  \"files\": [");
    for (size_t i = 0; i < records.size(); ++i) {
      const tb::LoadRecord& r = records[i];
      std::printf(
          "%s\n    {\"file\": %s, \"outcome\": \"%s\", \"components\": %ld, \"reason\": %s}",
          i ? "," : "", JsonString(r.fileName).c_str(), LoadOutcomeKey(r.outcome),
          static_cast<long>(r.componentCount), JsonString(LoadRecordText(r)).c_str());
    }
    std::printf("%s]", records.empty() ? "" : "\n  ");
  }
  std::printf("\n}\n");
}

// The files that gave no component (or lost some), each with the scan's reason.
void PrintSkipped(const std::vector<tb::LoadRecord>& records) {
  size_t shown = 0;
  for (const tb::LoadRecord& r : records) {
    if (r.outcome == tb::kLoadLoaded) continue;
    if (shown++ == 0) std::printf("Files not used:\n");
    PrintOut("  %s: %s\n", r.fileName, LoadRecordText(r).c_str());
  }
  if (shown == 0) std::printf("Every .dll file of the folder was loaded.\n");
}

void PrintTable(const Options& options, const std::vector<Entry>& entries) {
  std::printf("Plug-in folder: %s\n", options.manager.plugins.c_str());
  if (entries.empty()) {
    std::printf("  no components\n");
    return;
  }
  size_t moduleWidth = 6;
  for (const Entry& e : entries) {
    if (e.module.size() > moduleWidth) moduleWidth = e.module.size();
  }
  std::printf("  %3s  %-10s  %-*s  %5s  %s\n", "#", "kind", static_cast<int>(moduleWidth), "module",
              "index", "name");
  std::vector<std::string> modules;
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    std::printf("  %3u  %-10s  %-*s  %5ld  %s\n", static_cast<unsigned>(i + 1), KindName(e.kind),
                static_cast<int>(moduleWidth), e.module.c_str(), static_cast<long>(e.index),
                e.name.c_str());
    bool seen = false;
    for (const std::string& m : modules) seen = seen || m == e.module;
    if (!seen) modules.push_back(e.module);
  }
  std::printf("%u component%s from %u librar%s\n", static_cast<unsigned>(entries.size()),
              entries.size() == 1 ? "" : "s", static_cast<unsigned>(modules.size()),
              modules.size() == 1 ? "y" : "ies");
}

}  // namespace

int CommandList(const Args& args) {
  Options options;
  if (!Parse(args, options)) return ShowHelpForBadArguments(kListHelp);
  if (options.help) return ShowHelp(kListHelp);
  return RunWithManager(options.manager, [&options](tb::IManager* manager) {
    std::vector<Entry> entries;
    if (!ReadCatalogue(manager, entries)) return 1;
    const std::vector<tb::LoadRecord> records = LoadRecordsOf(manager);
    if (options.json) {
      PrintJson(options, entries, records);
    } else {
      PrintTable(options, entries);
      if (options.verbose) PrintSkipped(records);
    }
    return 0;
  });
}

}  // namespace host
