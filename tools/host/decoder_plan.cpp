#include "decoder_plan.h"

#include <cstdio>

namespace host {

bool SearchExtensionOf(tb::IManager* manager, const std::string& name, std::string& extension,
                       std::string& note) {
  const tb::com_ptr<tb::IManagerRules> rules = RulesOf(manager);
  if (!rules) {
    note = "the library does not say how it searches (no IManagerRules)";
    return false;
  }
  switch (rules->ClassifySourceName(name.c_str())) {
    case tb::kSourceNameLocal:
      extension = SearchExtension(rules.get(), name);
      return true;
    case tb::kSourceNameHttp:
    case tb::kSourceNameFtp: {
      // The downloader's local copy decides; its name usually keeps the URL's.
      std::string last = name.substr(name.find_last_of('/') + 1);
      last = last.substr(0, last.find_first_of("?#"));
      extension = SearchExtension(rules.get(), last);
      note =
          "a URL is fetched by a downloader first; the extension of the local copy "
          "decides, assumed here to be the URL's";
      return true;
    }
  }
  note = "the name is neither a full file path nor an http or ftp URL: no decoder is asked";
  return false;
}

namespace {

// The decoder as the library's search treats it for a wrapped request, with its
// extension list for the user.
DecoderCandidate Describe(tb::IComponent* component, tb::IComponentOrigin* origins,
                          tb::IManagerRules* rules, const std::string& extension) {
  DecoderCandidate c;
  c.label = LabelOf(component, origins);
  switch (rules->GetDecoderPass(component, extension.c_str(), tb::kOpenWithProxy, 0)) {
    case tb::kDecoderPassListed:
      c.lists = true;
      break;
    case tb::kDecoderPassOthers:
      break;
    case tb::kDecoderNoOpener:
      c.skipped = "offers no ISourceOpener";
      return c;
    case tb::kDecoderOpensNothing:
      c.skipped = "says it does not open sources";
      break;
    case tb::kDecoderNoExtensions:
      c.skipped = "offers no extension list";
      break;
    default: {
      // The opener is released through its second table, like every ISourceOpener.
      tb::ISourceOpener* opener = nullptr;
      uint32_t features = 0;
      if (SUCCEEDED(component->QueryInterface(tb::iid_of<tb::ISourceOpener>(),
                                              reinterpret_cast<void**>(&opener))) &&
          opener) {
        features = opener->GetFeatureMask();
        tb::opener_unknown(opener)->Release();
      }
      char text[80];
      std::snprintf(text, sizeof text, "feature mask 0x%lx lacks 0x%lx (needed for the proxy)",
                    static_cast<unsigned long>(features),
                    static_cast<unsigned long>(tb::kOpenWithProxy));
      c.skipped = text;
      break;
    }
  }
  tb::com_ptr<tb::IExtensionList> list =
      tb::com_ptr<tb::IComponent>(component).query<tb::IExtensionList>();
  const int32_t count = list ? list->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    const char* listed = list->GetExtension(i);
    if (!c.extensions.empty()) c.extensions += " ";
    c.extensions += listed ? listed : "?";
  }
  return c;
}

// The file name of the library whose image holds `address`, or empty.
std::string ModuleAt(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module)) {
    return std::string();
  }
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  const std::string full(path, n);
  return full.substr(full.find_last_of("\\/") + 1);
}

// The library that made the source object. The proxy passes a query for ILifetime on
// to the wrapped object, and an object's interface table is part of the code of the
// library that built it.
std::string SourceModuleOf(IUnknown* source) {
  tb::com_ptr<tb::ILifetime> lifetime = tb::com_ptr<IUnknown>(source).query<tb::ILifetime>();
  if (!lifetime) return std::string();
  const void* table = *reinterpret_cast<void* const*>(lifetime.get());
  return ModuleAt(table);
}

}  // namespace

bool ListDecoders(tb::IManager* manager, const std::string& extension,
                  std::vector<DecoderCandidate>& candidates) {
  candidates.clear();
  tb::com_ptr<tb::IManager> self(manager);
  tb::com_ptr<tb::ISourceOrder> order = self.query<tb::ISourceOrder>();
  tb::com_ptr<tb::IComponentOrigin> origins = self.query<tb::IComponentOrigin>();
  tb::com_ptr<tb::IManagerRules> rules = self.query<tb::IManagerRules>();
  tb::com_ptr<tb::IComponentCollection> list;
  if (!order || !rules || !order->GetOrderedComponents(tb::kKindDecoder, list.put()) || !list) {
    return false;
  }
  const int32_t count = list->GetCount();
  for (int32_t i = 0; i < count; ++i) {
    tb::com_ptr<tb::IComponent> component;
    if (!list->GetItem(i, component.put()) || !component) continue;
    candidates.push_back(Describe(component.get(), origins.get(), rules.get(), extension));
  }
  return true;
}

std::string FilePathOf(IUnknown* source) {
  tb::com_ptr<tb::IFileInfo> info = tb::com_ptr<IUnknown>(source).query<tb::IFileInfo>();
  if (!info) return std::string();
  const char* path = info->GetFilePath();
  return path ? path : "";
}

std::string IdentifyDecoder(tb::IManager* manager, IUnknown* source) {
  // The extension the search compared: the local copy's for a URL.
  const std::string path = FilePathOf(source);
  const std::string extension = SearchExtension(RulesOf(manager).get(), path);
  std::vector<DecoderCandidate> candidates;
  if (!ListDecoders(manager, extension, candidates)) return "unknown (the manager gave no list)";

  // The search order: pass 0, then pass 1.
  std::vector<const DecoderCandidate*> order;
  for (int pass = 0; pass < 2; ++pass) {
    for (const DecoderCandidate& c : candidates) {
      if (c.skipped.empty() && c.lists == (pass == 0)) order.push_back(&c);
    }
  }
  const std::string module = SourceModuleOf(source);
  const DecoderCandidate* first = nullptr;
  int fromModule = 0;
  for (const DecoderCandidate* c : order) {
    if (module.empty() || _stricmp(c->label.module.c_str(), module.c_str()) != 0) continue;
    if (!first) first = c;
    ++fromModule;
  }
  if (fromModule == 1) return first->label.Text();
  if (fromModule > 1) {
    return first->label.Text() + ", the first of " + std::to_string(fromModule) + " decoders of " +
           module + " in the search order";
  }
  // The object's code is not in any decoder's library (a plug-in may build its
  // sources elsewhere): say what the order alone suggests.
  for (const DecoderCandidate* c : order) {
    if (c->lists) return c->label.Text() + " (the first decoder listing \"" + extension + "\")";
  }
  return order.empty() ? "unknown" : order.front()->label.Text() + " (the first decoder asked)";
}

}  // namespace host
