// tunebay-host order: shows the decoders in the user's order with their keys, and
// stores a new order, so the decoder priority can be inspected and changed from a
// terminal.
#include <cstdio>
#include <cstring>

#include "base/com.h"
#include "host_support.h"

namespace host {

namespace {

const CommandHelp kOrderHelp = {
    "usage: tunebay-host order [--plugins DIR] [--keys NAME1 NAME2]\n"
    "       tunebay-host order set [--plugins DIR] [--keys NAME1 NAME2] KEY...\n"
    "\n"
    "Lists the decoders in the order in which files are offered to them, each with\n"
    "the key under which that order is stored. 'order set' puts the decoders with the\n"
    "given keys first, in the order given; the others follow in catalogue order.\n"
    "\n",
    "\n"
    "As in every session of the manager, listing stores the order back too, without\n"
    "the keys of decoders that are no longer installed.\n"};

struct Options {
  bool help = false;
  bool set = false;
  ManagerOptions manager;
  Args keys;
};

// False with a message for arguments that make no sense.
bool Parse(const Args& args, Options& options) {
  Args positional;
  bool optionsDone = false;
  DefaultManagerOptions(options.manager);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsDone || arg.empty() || arg[0] != '-') {
      positional.push_back(arg);
    } else if (arg == "--") {
      optionsDone = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (TakeManagerOption(args, i, options.manager)) {
    } else {
      std::fprintf(stderr, "error: unknown option or missing value: %s\n", arg.c_str());
      return false;
    }
  }
  if (!positional.empty() && positional[0] == "set") {
    options.set = true;
    options.keys.assign(positional.begin() + 1, positional.end());
    if (options.keys.empty() && !options.help) {
      std::fprintf(stderr, "error: 'order set' needs at least one key\n");
      return false;
    }
  } else if (!positional.empty()) {
    std::fprintf(stderr, "error: unexpected argument: %s\n", positional[0].c_str());
    return false;
  }
  return true;
}

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

void Print(const std::vector<Decoder>& decoders, const Options& options) {
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

int CommandOrder(const Args& args) {
  Options options;
  if (!Parse(args, options)) return ShowHelpForBadArguments(kOrderHelp);
  if (options.help) return ShowHelp(kOrderHelp);
  // Finish stores the order, also when it then refuses to unload the plug-ins: the job
  // is done all the same.
  return RunWithManager(
      options.manager, [&options](tb::IManager* manager) { return ListOrSet(manager, options); },
      UnloadRefused::kWarns);
}

}  // namespace host
