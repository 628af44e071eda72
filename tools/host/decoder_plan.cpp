#include "decoder_plan.h"

#include <cstdio>

#include "sources/source_name.h"

namespace host {

bool SearchExtensionOf(const std::string& name, std::string& extension, std::string& note) {
  switch (tb::ClassifySourceName(name.c_str())) {
    case tb::SourceNameKind::kLocalFile:
      extension = tb::SplitPathName(name.c_str()).extension;
      return true;
    case tb::SourceNameKind::kHttpUrl:
    case tb::SourceNameKind::kFtpUrl: {
      // The downloader's local copy decides; its name usually keeps the URL's.
      std::string last = name.substr(name.find_last_of('/') + 1);
      last = last.substr(0, last.find_first_of("?#"));
      extension = tb::SplitPathName(last.c_str()).extension;
      note =
          "a URL is fetched by a downloader first; the extension of the local copy "
          "decides, assumed here to be the URL's";
      return true;
    }
    case tb::SourceNameKind::kBadPath:
      break;
  }
  note = "the name is neither a full file path nor an http or ftp URL: no decoder is asked";
  return false;
}

namespace {

DecoderCandidate Describe(tb::IComponent* component, tb::IComponentOrigin* origins,
                          const std::string& extension) {
  DecoderCandidate c;
  c.label = LabelOf(component, origins);
  // The opener is released through its second table, like every ISourceOpener.
  tb::ISourceOpener* opener = nullptr;
  if (FAILED(component->QueryInterface(tb::iid_of<tb::ISourceOpener>(),
                                       reinterpret_cast<void**>(&opener))) ||
      !opener) {
    c.skipped = "offers no ISourceOpener";
    return c;
  }
  const uint32_t capabilities = tb::opener_unknown(opener)->GetCapabilities();
  const uint32_t features = opener->GetFeatureMask();
  tb::opener_unknown(opener)->Release();
  tb::com_ptr<tb::IExtensionList> list =
      tb::com_ptr<tb::IComponent>(component).query<tb::IExtensionList>();
  if ((capabilities & tb::kCapabilityOpensSources) == 0) {
    c.skipped = "says it does not open sources";
  } else if (!list) {
    c.skipped = "offers no extension list";
  } else if ((features & tb::kOpenWithProxy) == 0) {
    char text[80];
    std::snprintf(text, sizeof text, "feature mask 0x%lx lacks 0x%lx (needed for the proxy)",
                  static_cast<unsigned long>(features),
                  static_cast<unsigned long>(tb::kOpenWithProxy));
    c.skipped = text;
  }
  const int32_t count = list ? list->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    const char* listed = list->GetExtension(i);
    if (!c.extensions.empty()) c.extensions += " ";
    c.extensions += listed ? listed : "?";
    c.lists = c.lists || tb::ExtensionsMatch(extension.c_str(), listed);
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
  tb::com_ptr<tb::IComponentCollection> list;
  if (!order || !order->GetOrderedComponents(tb::kKindDecoder, list.put()) || !list) {
    return false;
  }
  const int32_t count = list->GetCount();
  for (int32_t i = 0; i < count; ++i) {
    tb::com_ptr<tb::IComponent> component;
    if (!list->GetItem(i, component.put()) || !component) continue;
    candidates.push_back(Describe(component.get(), origins.get(), extension));
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
  const std::string extension = tb::SplitPathName(path.c_str()).extension;
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
