// tunebay-host order: shows the decoders in the user's order with their keys, and
// stores a new order, so the decoder priority can be inspected and changed from a
// terminal.
#include <cstdio>
#include <cstring>

#include "base/com.h"
#include "host_support.h"
#include "json.h"

namespace host {

namespace {

const cli::OptionDef kOrderOptions[] = {
    {"json", '\0', 0, nullptr, "print the order as JSON (fields in docs/host-tool.md)"},
};

struct Options {
  bool set = false;
  bool json = false;
  ManagerOptions manager;
  Args keys;
};

struct Decoder {
  tb::com_ptr<tb::IComponent> component;
  std::string key;
  std::string name;
};

// The key under which the library stores a component, as the library itself gives it.
std::string KeyOf(tb::IComponent* component, tb::IManagerRules* rules) {
  char key[tb::kComponentKeySize] = {};
  return rules->GetComponentKey(component, key, sizeof key) ? key : "";
}

bool Collect(tb::IManager* manager, std::vector<Decoder>& decoders) {
  decoders.clear();
  tb::com_ptr<tb::IManager> self(manager);
  tb::com_ptr<tb::ISourceOrder> order = self.query<tb::ISourceOrder>();
  tb::com_ptr<tb::IManagerRules> rules = self.query<tb::IManagerRules>();
  tb::com_ptr<tb::IComponentCollection> list;
  if (!order || !rules || !order->GetOrderedComponents(tb::kKindDecoder, list.put()) || !list) {
    std::fprintf(stderr, "error: the manager gave no decoder list\n");
    return false;
  }
  const int32_t count = list->GetCount();
  for (int32_t i = 0; i < count; ++i) {
    Decoder decoder;
    if (!list->GetItem(i, decoder.component.put()) || !decoder.component) continue;
    decoder.key = KeyOf(decoder.component.get(), rules.get());
    const char* name = decoder.component->GetName();
    decoder.name = name ? name : "";
    decoders.push_back(std::move(decoder));
  }
  return true;
}

bool PrintJsonOrder(const std::vector<Decoder>& decoders, const Options& options) {
  JsonWriter json;
  json.BeginObject();
  json.Key("registryKey")
      .String(Utf8OfAnsi("HKEY_CURRENT_USER\\Software\\" + options.manager.keyName1 + "\\" +
                         options.manager.keyName2 + "\\Tunebay"));
  json.Key("decoders").BeginArray();
  for (size_t i = 0; i < decoders.size(); ++i) {
    json.BeginObject().Key("position").UInt(i + 1);
    json.Key("key").String(Utf8OfAnsi(decoders[i].key));
    json.Key("name").String(Utf8OfAnsi(decoders[i].name)).EndObject();
  }
  json.EndArray().EndObject();
  return PrintJson(json);
}

void Print(const std::vector<Decoder>& decoders, const Options& options) {
  if (options.json) {
    PrintJsonOrder(decoders, options);
    return;
  }
  std::printf("Decoders in the user's order (HKEY_CURRENT_USER\\Software\\%s\\%s\\Tunebay):\n",
              options.manager.keyName1.c_str(), options.manager.keyName2.c_str());
  if (decoders.empty()) {
    std::printf("  none found in %s\n", options.manager.plugins.c_str());
    return;
  }
  size_t width = 0;
  for (const Decoder& d : decoders) width = d.key.size() > width ? d.key.size() : width;
  for (size_t i = 0; i < decoders.size(); ++i) {
    std::printf("  %3u  %-*s  %s\n", static_cast<unsigned>(i + 1), static_cast<int>(width),
                decoders[i].key.c_str(), decoders[i].name.c_str());
  }
}

// Replaces the stored order with the decoders named by `keys`. Several decoders may
// share a key; a key then may be given once for each of them.
bool StoreOrder(tb::IManager* manager, const std::vector<Decoder>& decoders, const Args& keys) {
  std::vector<bool> used(decoders.size(), false);
  std::vector<tb::IComponent*> chosen;
  for (const std::string& key : keys) {
    bool known = false;
    size_t i = 0;
    for (; i < decoders.size(); ++i) {
      if (decoders[i].key != key) continue;
      known = true;
      if (!used[i]) break;
    }
    if (i == decoders.size()) {
      std::fprintf(stderr,
                   known ? "error: key given more often than decoders have it: %s\n"
                         : "error: no decoder has the key %s\n",
                   key.c_str());
      return false;
    }
    used[i] = true;
    chosen.push_back(decoders[i].component.get());
  }
  tb::com_ptr<tb::ISourceOrder> order =
      tb::com_ptr<tb::IManager>(manager).query<tb::ISourceOrder>();
  if (!order || !order->SetSourceOrder(chosen.data(), static_cast<int32_t>(chosen.size()))) {
    std::fprintf(stderr, "error: the manager refused the new order\n");
    return false;
  }
  return true;
}

// Everything that holds components, so that all of them are let go before Finish
// unloads the libraries they live in.
int ListOrSet(tb::IManager* manager, const Options& options) {
  std::vector<Decoder> decoders;
  if (!Collect(manager, decoders)) return 1;
  if (options.set) {
    if (!StoreOrder(manager, decoders, options.keys)) {
      Print(decoders, options);
      return 1;
    }
    if (!Collect(manager, decoders)) return 1;
  }
  Print(decoders, options);
  return 0;
}

}  // namespace

const cli::CommandDef kOrderCommand = {
    "order",
    "decoder priority; set stores a new one",
    "order [--json] [--plugins DIR] [--keys NAME1 NAME2]\n"
    "order set [OPTIONS] KEY...",
    "Lists the decoders in the order in which files are offered to them, each with\n"
    "the key under which that order is stored. 'order set' puts the decoders with the\n"
    "given keys first, in the order given; the others follow in catalogue order.\n",
    kOrderOptions,
    sizeof kOrderOptions / sizeof kOrderOptions[0],
    true,
    "As in every session of the manager, listing stores the order back too, without\n"
    "the keys of decoders that are no longer installed.\n"
    "Exit status: 0 when the order was listed (and stored), 1 when the manager failed or\n"
    "refused a key, 2 for bad arguments.\n",
    0,
    cli::kAnyCount};

int CommandOrder(const cli::ParsedLine& line) {
  Options options;
  options.json = line.Has("json");
  options.manager = ManagerOptionsOf(line);
  const Args& operands = line.operands;
  if (!operands.empty() && operands[0] != "set") {
    return UsageError(kOrderCommand, "unexpected operand '%s'", operands[0].c_str());
  }
  if (!operands.empty()) {
    options.set = true;
    options.keys.assign(operands.begin() + 1, operands.end());
    if (options.keys.empty())
      return UsageError(kOrderCommand, "'order set' needs at least one key");
  }
  // Finish stores the order, also when it then refuses to unload the plug-ins: the job
  // is done all the same.
  return RunWithManager(
      options.manager, [&options](tb::IManager* manager) { return ListOrSet(manager, options); },
      UnloadRefused::kWarns);
}

}  // namespace host
