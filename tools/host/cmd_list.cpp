// tunebay-host list: initialises the manager over a plug-in folder, prints the
// catalogue (each component's name and kind, the library it came from and its index
// there) and finishes again, as a host does at start and exit.
#include <cstdio>
#include <string>
#include <vector>

#include "base/com.h"
#include "host_support.h"
#include "json.h"
#include "plugin_report.h"

namespace host {

namespace {

const cli::OptionDef kListOptions[] = {
    {"json", '\0', 0, nullptr, "print the catalogue as JSON (fields in docs/host-tool.md)"},
    {"verbose", '\0', 0, nullptr,
     "also every .dll file of the folder that gave no component, and why\n"
     "(\"files\" in the JSON); as the global -v, it also sends the library's trace\n"
     "to the error stream"},
};

struct Options {
  bool json = false;
  bool verbose = false;
  ManagerOptions manager;
};

struct Entry {
  std::string name;
  int32_t kind = 0;
  std::string module;
  int32_t index = 0;
};

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

bool PrintJsonCatalogue(const Options& options, const std::vector<Entry>& entries,
                        const std::vector<tb::LoadRecord>& records) {
  JsonWriter json;
  json.BeginObject().Key("pluginFolder").String(Utf8OfAnsi(options.manager.plugins));
  json.Key("components").BeginArray();
  for (const Entry& e : entries) {
    json.BeginObject();
    json.Key("name").String(Utf8OfAnsi(e.name));
    json.Key("kind").Int(e.kind).Key("kindName").String(KindName(e.kind));
    json.Key("module").String(Utf8OfAnsi(e.module)).Key("index").Int(e.index);
    json.EndObject();
  }
  json.EndArray();
  if (options.verbose) {
    json.Key("files").BeginArray();
    for (const tb::LoadRecord& r : records) {
      json.BeginObject().Key("file").String(Utf8OfAnsi(r.fileName));
      json.Key("outcome").String(LoadOutcomeKey(r.outcome));
      json.Key("components").Int(r.componentCount);
      json.Key("reason").String(Utf8OfAnsi(LoadRecordText(r)));
      json.EndObject();
    }
    json.EndArray();
  }
  json.EndObject();
  return PrintJson(json);
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

}  // namespace

const cli::CommandDef kListCommand = {
    "list",
    "the components of the plug-ins, loaded and freed",
    "list [--json] [--verbose] [--plugins DIR] [--keys NAME1 NAME2]",
    "Loads the plug-ins of a folder as a host does and lists the components they offer,\n"
    "in catalogue order: name, kind, the library file and the component's index in the\n"
    "collection that delivered it. Then finishes, unloading the plug-ins.\n",
    kListOptions,
    sizeof kListOptions / sizeof kListOptions[0],
    true,
    "Exit status: 0 when the plug-ins were loaded and unloaded again, 1 when the manager\n"
    "failed, 2 for bad arguments.\n",
    0,
    0};

int CommandList(const cli::ParsedLine& line) {
  Options options;
  options.json = line.Has("json");
  options.verbose = line.Has("verbose");
  options.manager = ManagerOptionsOf(line);
  return RunWithManager(options.manager, [&options](tb::IManager* manager) {
    std::vector<Entry> entries;
    if (!ReadCatalogue(manager, entries)) return 1;
    const std::vector<tb::LoadRecord> records = LoadRecordsOf(manager);
    if (options.json) return PrintJsonCatalogue(options, entries, records) ? 0 : 1;
    PrintTable(options, entries);
    if (options.verbose) PrintSkipped(records);
    return 0;
  });
}

}  // namespace host
