#include "host_support.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/ascii.h"

namespace host {

const char* const kDefaultKeyName1 = "Tunebay";
const char* const kDefaultKeyName2 = "Host";

ManagerOptions ManagerOptionsOf(const cli::ParsedLine& line) {
  ManagerOptions options;
  options.plugins = line.Value("plugins", ExeFolder() + "plugins");
  const std::vector<std::string> keys = line.Values("keys");
  if (keys.size() >= 2) {
    options.keyName1 = keys[keys.size() - 2];
    options.keyName2 = keys[keys.size() - 1];
  }
  return options;
}

bool InitialiseManager(tb::IManager* manager, const ManagerOptions& options) {
  // The manager would initialise over a missing folder with an empty catalogue; a typo
  // in --plugins deserves a clearer word than "no decoder opened the file".
  const DWORD attributes = GetFileAttributesA(options.plugins.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    PrintErr("error: no plug-in folder %s\n", options.plugins.c_str());
    return false;
  }
  tb::com_ptr<tb::IRegistryLocation> location =
      tb::com_ptr<tb::IManager>(manager).query<tb::IRegistryLocation>();
  tb::com_ptr<tb::IError> error;
  if (!location) {
    PrintErr("error: the manager has no registry location\n");
    return false;
  }
  if (!location->SetKeyName1(options.keyName1.c_str(), error.put()) ||
      !location->SetKeyName2(options.keyName2.c_str(), error.put())) {
    PrintError(manager, error.get(), "setting the registry key names");
    return false;
  }
  if (!manager->SetPluginFolder(options.plugins.c_str())) {
    PrintErr("error: the manager refused the plug-in folder %s\n", options.plugins.c_str());
    return false;
  }
  if (g_verbosity > 0) {
    PrintErr(
        "note: plug-in folder %s; settings under HKEY_CURRENT_USER\\Software\\%s\\%s\\Tunebay\n",
        options.plugins.c_str(), options.keyName1.c_str(), options.keyName2.c_str());
  }
  if (!manager->Initialise()) {
    PrintErr("error: the manager could not initialise\n");
    return false;
  }
  return true;
}

bool FinishManager(tb::IManager* manager, UnloadRefused refused) {
  if (manager->Finish()) return true;
  if (refused == UnloadRefused::kWarns) {
    PrintErr(
        "warning: a plug-in is not ready to be unloaded (something of it is "
        "still alive); the settings were stored, the plug-ins stay loaded "
        "until the tool exits\n");
  } else {
    PrintErr(
        "error: a plug-in is not ready to be unloaded (something of it is "
        "still alive); the plug-ins stay loaded until the tool exits\n");
  }
  return false;
}

int RunWithManager(const ManagerOptions& options, const std::function<int(tb::IManager*)>& job,
                   UnloadRefused refused) {
  Session session;
  if (!OpenSession(session)) return 1;
  int status = 1;
  if (InitialiseManager(session.manager, options)) {
    status = job(session.manager);
    if (!FinishManager(session.manager, refused) && refused == UnloadRefused::kFails) {
      status = 1;
    }
  }
  CloseSession(session);
  return status;
}

bool FormatOptionOf(const cli::ParsedLine& line, cli::FormatRequest& request) {
  request = cli::FormatRequest();
  if (!line.Has("format")) return true;
  const std::string text = line.Value("format");
  if (cli::ParseFormatRequest(text, request)) return true;
  UsageError(*line.command,
             "--format wants RATE[:BITS[:CHANNELS]] (decimal numbers; a field left empty keeps "
             "the input's), not '%s'",
             text.c_str());
  return false;
}

tb::AudioFormat Applied(const cli::FormatRequest& request, tb::AudioFormat base) {
  cli::ApplyFormatRequest(request, base.sampleRate, base.bitsPerSample, base.channels);
  return base;
}

bool OpenWithFormat(tb::IManager* manager, const std::string& name,
                    const cli::FormatRequest& request, tb::com_ptr<IUnknown>& source,
                    tb::com_ptr<tb::IError>& error) {
  auto open = [&](const tb::AudioFormat* format) {
    IUnknown* raw = nullptr;
    source.reset();
    error.reset();
    const bool opened =
        manager->OpenSource(name.c_str(), format, &raw, -1, tb::kOpenWithProxy, 0, error.put());
    source = tb::com_ptr<IUnknown>::adopt(raw);
    return opened;
  };
  tb::AudioFormat wanted = Applied(request, tb::AudioFormat{0, 0, 0});
  if (!request.Any()) return open(nullptr);
  if (request.All()) return open(&wanted);
  if (!open(nullptr)) return false;
  tb::com_ptr<tb::IOriginalFormat> original = source.query<tb::IOriginalFormat>();
  tb::AudioFormat own = {0, 0, 0};
  const tb::AudioFormat* answered = original ? original->GetSourceFormat(&own) : nullptr;
  if (!answered) return true;
  own = *answered;
  wanted = Applied(request, own);
  if (SameFormat(wanted, own)) return true;
  original.reset();
  return open(&wanted);
}

std::string FormatText(const tb::AudioFormat& f) {
  char text[96];
  std::snprintf(text, sizeof text, "%ld Hz, %ld bits, %ld channel%s",
                static_cast<long>(f.sampleRate), static_cast<long>(f.bitsPerSample),
                static_cast<long>(f.channels), f.channels == 1 ? "" : "s");
  return text;
}

const char* KindName(int32_t kind) {
  switch (kind) {
    case tb::kKindCollection:
      return "collection";
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

std::string FormatShort(const tb::AudioFormat& f) {
  char text[48];
  std::snprintf(text, sizeof text, "%ld:%ld:%ld", static_cast<long>(f.sampleRate),
                static_cast<long>(f.bitsPerSample), static_cast<long>(f.channels));
  return text;
}

bool SameFormat(const tb::AudioFormat& a, const tb::AudioFormat& b) {
  return a.sampleRate == b.sampleRate && a.bitsPerSample == b.bitsPerSample &&
         a.channels == b.channels;
}

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return text.size() >= n && _strnicmp(text.c_str(), prefix, n) == 0;
}

std::string FullPath(const std::string& typed) {
  char buffer[MAX_PATH];
  const DWORD n = GetFullPathNameA(typed.c_str(), MAX_PATH, buffer, nullptr);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return std::string(buffer, n);
}

std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n && text ? std::string(text, n) : "Windows error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

// The object's identity: what IID_IUnknown gives, compared as a pointer.
tb::com_ptr<IUnknown> Identity(IUnknown* face) {
  tb::com_ptr<IUnknown> identity;
  if (face && FAILED(face->QueryInterface(IID_IUnknown, identity.put_void()))) identity.detach();
  return identity;
}

}  // namespace

std::string SourceNameOf(const std::string& typed) {
  if (typed.empty() || StartsWithNoCase(typed, "http://") || StartsWithNoCase(typed, "ftp://") ||
      typed.find("://") != std::string::npos) {
    return typed;
  }
  const std::string full = FullPath(typed);
  return full.empty() ? typed : full;
}

std::string ComponentLabel::Text() const {
  return module.empty() ? name : name + " (" + module + ")";
}

std::string ComponentLabel::Origin() const {
  return module.empty() ? std::string() : module + " #" + std::to_string(index);
}

ComponentLabel LabelOf(tb::IComponent* component, tb::IComponentOrigin* origins) {
  ComponentLabel label;
  const char* name = component->GetName();
  label.name = name && *name ? name : "(no name)";
  tb::ComponentOrigin origin{};
  if (origins && origins->GetComponentOrigin(component, &origin)) {
    origin.moduleFileName[tb::kOriginNameSize - 1] = '\0';
    label.module = origin.moduleFileName;
    label.index = origin.index;
  }
  return label;
}

tb::com_ptr<tb::IManagerRules> RulesOf(tb::IManager* manager) {
  return tb::com_ptr<tb::IManager>(manager).query<tb::IManagerRules>();
}

std::string SearchExtension(tb::IManagerRules* rules, const std::string& name) {
  char extension[MAX_PATH] = {};
  if (!rules || !rules->GetSearchExtension(name.c_str(), extension, sizeof extension)) return "";
  return extension;
}

tb::com_ptr<tb::IComponent> FindEncoder(tb::IManager* manager, const std::string& wanted,
                                        const std::string& outputPath) {
  tb::com_ptr<tb::IManager> self(manager);
  tb::com_ptr<tb::IComponentCollection> catalogue = self.query<tb::IComponentCollection>();
  tb::com_ptr<tb::IComponentOrigin> origins = self.query<tb::IComponentOrigin>();
  const std::string extension = SearchExtension(RulesOf(manager).get(), outputPath);
  std::vector<std::string> available;  // every extension an encoder lists, for the refusal
  const int32_t count = catalogue ? catalogue->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    tb::com_ptr<tb::IComponent> component;
    if (!catalogue->GetItem(i, component.put()) || !component) continue;
    if (component->GetKind() != tb::kKindEncoder || !component.query<tb::ISinkFactory>()) {
      continue;
    }
    if (!wanted.empty()) {
      const ComponentLabel label = LabelOf(component.get(), origins.get());
      if (_stricmp(label.name.c_str(), wanted.c_str()) == 0 ||
          _stricmp(label.module.c_str(), wanted.c_str()) == 0) {
        return component;
      }
      continue;
    }
    // An encoder that lists no extension writes no audio file a name could ask for
    // (the example level meter writes a text report): only --encoder chooses it.
    tb::com_ptr<tb::IExtensionList> list = component.query<tb::IExtensionList>();
    const int32_t extensions = list ? list->GetCount() : 0;
    for (int32_t e = 0; e < extensions; ++e) {
      const char* listed = list->GetExtension(e);
      if (!listed || !*listed) continue;
      if (!extension.empty() && tb::EqualsIgnoringAsciiCase(extension, listed)) return component;
      const std::string item = std::string(".") + listed;
      if (std::find(available.begin(), available.end(), item) == available.end()) {
        available.push_back(item);
      }
    }
  }
  if (!wanted.empty()) {
    PrintErr("error: no encoder named %s writes files\n", wanted.c_str());
  } else {
    const std::string what = extension.empty() ? "files without an extension" : "." + extension;
    std::string list;
    for (const std::string& item : available) list += (list.empty() ? "" : ", ") + item;
    PrintErr("error: no encoder writes %s; available: %s\n", what.c_str(),
             list.empty() ? "none" : list.c_str());
    PrintErr("note: --encoder NAME chooses an encoder whatever the name\n");
  }
  return nullptr;
}

ComponentLabel ManagerConvertor(tb::IManager* manager) {
  ComponentLabel label;
  label.name = "none";
  tb::com_ptr<tb::IConvertor> held;
  if (!manager->GetConvertor(held.put()) || !held) return label;
  // The manager hands out the convertor interface, not the component: find the
  // catalogue entry that is the same object.
  const tb::com_ptr<IUnknown> heldIdentity = Identity(held.get());
  tb::com_ptr<tb::IManager> self(manager);
  tb::com_ptr<tb::IComponentCollection> catalogue = self.query<tb::IComponentCollection>();
  tb::com_ptr<tb::IComponentOrigin> origins = self.query<tb::IComponentOrigin>();
  label.name = "a convertor outside the catalogue";
  const int32_t count = catalogue ? catalogue->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    tb::com_ptr<tb::IComponent> component;
    if (!catalogue->GetItem(i, component.put()) || !component) continue;
    if (component->GetKind() != tb::kKindConvertor) continue;
    tb::com_ptr<tb::IConvertor> convertor = component.query<tb::IConvertor>();
    if (!convertor) continue;
    if (convertor.get() == held.get() ||
        (heldIdentity && Identity(component.get()).get() == heldIdentity.get())) {
      return LabelOf(component.get(), origins.get());
    }
  }
  return label;
}

void ExplainUrlFailure(tb::IManager* manager, const std::string& url) {
  uint32_t protocol = 0;
  const tb::com_ptr<tb::IManagerRules> rules = RulesOf(manager);
  switch (rules ? rules->ClassifySourceName(url.c_str()) : tb::kSourceNameBad) {
    case tb::kSourceNameHttp:
      protocol = tb::kProtocolHttp;
      break;
    case tb::kSourceNameFtp:
      protocol = tb::kProtocolFtp;
      break;
    default:
      return;
  }
  tb::com_ptr<tb::IManager> self(manager);
  tb::com_ptr<tb::IComponentCollection> catalogue = self.query<tb::IComponentCollection>();
  const int32_t count = catalogue ? catalogue->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    tb::com_ptr<tb::IComponent> component;
    if (!catalogue->GetItem(i, component.put()) || !component) continue;
    if (component->GetKind() != tb::kKindDownloader) continue;
    tb::com_ptr<tb::IDownloader> downloader = component.query<tb::IDownloader>();
    if (!downloader || (downloader->GetProtocols() & protocol) == 0) continue;
    // The manager's error already carries the downloader's explanation from the one
    // download it made; downloading again to explain would cost a second transfer.
    return;
  }
  PrintErr("note: no downloader handles this kind of URL\n");
}

PendingOutput::~PendingOutput() { Discard(); }

bool PendingOutput::Prepare(const std::string& typed) {
  final_ = FullPath(typed);
  if (final_.empty()) {
    PrintErr("error: %s is not a usable file name\n", typed.c_str());
    return false;
  }
  const DWORD existing = GetFileAttributesA(final_.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    PrintErr("error: %s is a folder; name the output file\n", final_.c_str());
    return false;
  }
  const size_t slash = final_.find_last_of('\\');
  const std::string folder = final_.substr(0, slash + 1);
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    PrintErr("error: the folder %s does not exist\n", folder.c_str());
    return false;
  }
  // Beside the final file, so that the rename stays within one volume. It never ends in
  // an audio extension, so that one left by a killed run is not taken for audio; the
  // next run replaces it.
  temp_ = final_ + ".part";
  pending_ = true;
  return true;
}

bool PendingOutput::Commit() {
  if (!pending_) return false;
  if (!MoveFileExA(temp_.c_str(), final_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    const DWORD code = GetLastError();
    PrintErr("error: cannot move the finished file to %s: %s\n", final_.c_str(),
             SystemMessage(code).c_str());
    Discard();
    return false;
  }
  pending_ = false;
  return true;
}

void PendingOutput::Discard() {
  if (!pending_) return;
  pending_ = false;
  DeleteFileA(temp_.c_str());
}

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool ParseLanguageId(const std::string& text, uint16_t& language) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value > 0xFFFF) return false;
  language = static_cast<uint16_t>(value);
  return true;
}

}  // namespace host
