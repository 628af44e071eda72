#include "sources/source_resolution.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/com.h"
#include "base/fault_guard.h"
#include "core/error_object.h"
#include "core/manager.h"
#include "core/trace.h"
#include "sources/manager_diagnostics.h"
#include "sources/source_name.h"

namespace tb {

namespace {

unsigned long ProbeFileSystem(const char* path) {
  // Attribute access only: the file need not be readable, only present.
  HANDLE file =
      CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(file);
  return 0;
}

FileProbe g_probe = &ProbeFileSystem;

// A downloader is handed kLocalPathSize bytes for the local copy's path. The buffer it
// writes into is larger, so that one overrunning the contract by a little (a path of
// MAX_PATH, say) writes into our slack instead of the stack around it; what is read
// back is cut at the contract's size in any case.
constexpr size_t kLocalPathSlack = 768;

// An ISourceOpener reference: held through the first table, released through the
// second.
class OpenerRef {
 public:
  OpenerRef() = default;
  OpenerRef(const OpenerRef&) = delete;
  OpenerRef& operator=(const OpenerRef&) = delete;
  ~OpenerRef() {
    if (opener_) opener_unknown(opener_)->Release();
  }
  ISourceOpener* get() const noexcept { return opener_; }
  ISourceOpener* operator->() const noexcept { return opener_; }
  explicit operator bool() const noexcept { return opener_ != nullptr; }
  void** put_void() noexcept { return reinterpret_cast<void**>(&opener_); }

 private:
  ISourceOpener* opener_ = nullptr;
};

struct Request {
  const char* name;
  IUnknown** source;
  int32_t pass;
  uint32_t requiredMask;
  uint32_t excludedMask;
  IError** error;
  // What each decoder asked answered, for IPluginDiagnostics; null when not kept.
  std::vector<OpenAttempt>* attempts;
};

enum class Outcome { kOpened, kFinal, kNotOpened };

bool ListsExtension(IExtensionList* extensions, const std::string& extension) {
  const int32_t count = extensions->GetCount();
  for (int32_t i = 0; i < count; ++i) {
    if (ExtensionsMatch(extension.c_str(), extensions->GetExtension(i))) return true;
  }
  return false;
}

bool HasFinalVerdict(const com_ptr<IError>& error) {
  com_ptr<IErrorVerdict> verdict = error.query<IErrorVerdict>();
  return verdict && verdict->GetVerdict() == kVerdictFinal;
}

bool PassesMasks(uint32_t features, uint32_t required, uint32_t excluded) {
  if (required != 0 && (features & required) != required) return false;
  if (excluded != 0 && (features & excluded) != 0) return false;
  return true;
}

// The pass in which a search offers a name with `extension` to `component`, or why it
// never does (DecoderPass); `opener` receives the decoder's opener when it has one.
int32_t PlanDecoder(IComponent* component, const std::string& extension, uint32_t requiredMask,
                    uint32_t excludedMask, OpenerRef& opener) {
  if (FAILED(component->QueryInterface(iid_of<ISourceOpener>(), opener.put_void())) || !opener) {
    return kDecoderNoOpener;
  }
  if ((opener_unknown(opener.get())->GetCapabilities() & kCapabilityOpensSources) == 0) {
    return kDecoderOpensNothing;
  }
  com_ptr<IExtensionList> extensions = com_ptr<IComponent>(component).query<IExtensionList>();
  if (!extensions) return kDecoderNoExtensions;
  const bool matches = ListsExtension(extensions.get(), extension);
  if (!PassesMasks(opener->GetFeatureMask(), requiredMask, excludedMask)) {
    return kDecoderMasksExclude;
  }
  return matches ? kDecoderPassListed : kDecoderPassOthers;
}

void CopyText(char* field, size_t size, const char* text) noexcept {
  if (!text) text = "";
  size_t i = 0;
  for (; i + 1 < size && text[i]; ++i) field[i] = text[i];
  field[i] = '\0';
}

// Notes what one decoder answered. Its error's message is asked through the manager's
// DescribeError, as a host would; the error object of a decoder that faulted may be
// half made and is not asked.
void NoteAttempt(Manager& manager, const Request& request, IComponent* component, int32_t pass,
                 int32_t answer, unsigned long faultCode, IError* error) {
  if (!request.attempts && !TraceEnabled()) return;
  OpenAttempt attempt{};
  CopyText(attempt.component, sizeof attempt.component, component->GetName());
  ComponentOrigin origin{};
  if (manager.GetComponentOrigin(component, &origin)) {
    origin.moduleFileName[kOriginNameSize - 1] = '\0';
    CopyText(attempt.moduleFileName, sizeof attempt.moduleFileName, origin.moduleFileName);
  }
  attempt.pass = pass;
  attempt.answer = answer;
  attempt.faultCode = static_cast<uint32_t>(faultCode);
  com_ptr<IError> described;
  if (error && answer != kOpenFault && manager.DescribeError(error, described.put()) && described) {
    CopyText(attempt.detail, sizeof attempt.detail, described->GetMessage());
    for (char& c : attempt.detail) c = (c == '\r' || c == '\n') ? ' ' : c;
  }
  Trace("%s: pass %ld: %s (%s) answered %ld, fault 0x%08lx %s\n", request.name,
        static_cast<long>(pass), attempt.component, attempt.moduleFileName,
        static_cast<long>(answer), faultCode, attempt.detail);
  // Out of memory loses the note, not the source a decoder may just have opened.
  try {
    if (request.attempts) request.attempts->push_back(attempt);
  } catch (...) {
  }
}

// One pass over the ordered decoders. Pass 0 offers the name to the decoders that list
// its extension, every other pass to those that do not.
Outcome RunPass(Manager& manager, IComponentCollection* decoders, const Request& request,
                const std::string& extension, int32_t pass, com_ptr<IError>& pending) {
  const int32_t wanted = pass == 0 ? kDecoderPassListed : kDecoderPassOthers;
  const int32_t count = decoders->GetCount();
  for (int32_t i = 0; i < count; ++i) {
    com_ptr<IComponent> component;
    if (!decoders->GetItem(i, component.put()) || !component) continue;
    OpenerRef opener;
    if (PlanDecoder(component.get(), extension, request.requiredMask, request.excludedMask,
                    opener) != wanted) {
      continue;
    }
    const bool matches = wanted == kDecoderPassListed;

    IError* raw = nullptr;
    bool opened = false;
    ISourceOpener* target = opener.get();
    unsigned long fault = 0;
    const bool returned = Guarded(
        [&] {
          opened = target->Open(request.name, request.source, request.requiredMask,
                                request.excludedMask, &raw);
        },
        &fault);
    com_ptr<IError> error = com_ptr<IError>::adopt(raw);
    // A decoder that claims success without a source has not opened anything.
    if (returned && opened && *request.source) {
      NoteAttempt(manager, request, component.get(), pass, kOpenOpened, 0, nullptr);
      return Outcome::kOpened;
    }
    // The verdict of a decoder that faulted is not asked: its error object may be
    // half made. What it stored still counts as its error below.
    const bool ends = returned && !opened && error && request.error && HasFinalVerdict(error);
    NoteAttempt(manager, request, component.get(), pass,
                !returned ? kOpenFault
                : opened  ? kOpenNoSource
                : ends    ? kOpenFinal
                : error   ? kOpenError
                          : kOpenDeclined,
                fault, error.get());
    if (ends) {
      *request.error = error.detach();
      return Outcome::kFinal;
    }
    if (matches && error) pending = std::move(error);
  }
  return Outcome::kNotOpened;
}

bool EndOfSearch(const Request& request, com_ptr<IError>& pending) {
  *request.source = nullptr;
  if (request.error) {
    if (pending) {
      *request.error = pending.detach();
    } else {
      ReportError(request.error, result::FileInvalid);
    }
  }
  return false;
}

bool ResolveLocalFile(Manager& manager, const Request& request) {
  if (g_probe(request.name) == ERROR_FILE_NOT_FOUND) {
    if (request.error) *request.error = ErrorObject::FromSystemError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  const std::string extension = SplitPathName(request.name).extension;
  com_ptr<IError> pending;
  com_ptr<IComponentCollection> decoders;
  // The decoders in the user's order, from the services layer's face.
  const com_ptr<ISourceOrder> order = com_ptr<IManager>(manager.primary()).query<ISourceOrder>();
  if (order && order->GetOrderedComponents(kKindDecoder, decoders.put()) && decoders) {
    const int32_t passes[] = {0, 1};
    const int32_t* first = request.pass == -1 ? passes : &request.pass;
    const int32_t* last = request.pass == -1 ? passes + 2 : &request.pass + 1;
    for (const int32_t* pass = first; pass != last; ++pass) {
      switch (RunPass(manager, decoders.get(), request, extension, *pass, pending)) {
        case Outcome::kOpened:
          return true;
        case Outcome::kFinal:
          return false;
        case Outcome::kNotOpened:
          break;
      }
    }
  }
  return EndOfSearch(request, pending);
}

bool ResolveName(Manager& manager, const Request& request, bool mayDownload);

bool ResolveUrl(Manager& manager, const Request& request, uint32_t protocol) {
  com_ptr<IComponentCollection> catalogue =
      com_ptr<IManager>(manager.primary()).query<IComponentCollection>();
  const int32_t count = catalogue ? catalogue->GetCount() : 0;
  com_ptr<IError> pending;
  for (int32_t i = 0; i < count; ++i) {
    com_ptr<IComponent> component;
    if (!catalogue->GetItem(i, component.put()) || !component) continue;
    if (component->GetKind() != kKindDownloader) continue;
    com_ptr<IDownloader> downloader = component.query<IDownloader>();
    if (!downloader || (downloader->GetProtocols() & protocol) == 0) continue;

    char localPath[kLocalPathSize + kLocalPathSlack] = {};
    com_ptr<IError> failure;
    if (!downloader->Download(request.name, localPath, 0, failure.put())) {
      // When every downloader fails the caller hears FileInvalid, with the first
      // downloader's explanation: the host needs no second download to give one.
      if (!pending && failure) {
        pending = com_ptr<IError>::adopt(ErrorObject::FromParts(
            result::FileInvalid, failure->GetSystemError(), failure->GetMessage()));
      }
      continue;
    }
    localPath[kLocalPathSize - 1] = '\0';
    Request local = request;
    local.name = localPath;
    return ResolveName(manager, local, false);
  }
  return EndOfSearch(request, pending);
}

// A downloader's local copy is resolved as a local file only: a downloader that
// answered with another URL would otherwise send the search round for ever.
bool ResolveName(Manager& manager, const Request& request, bool mayDownload) {
  const SourceNameKind kind = ClassifySourceName(request.name);
  if (kind == SourceNameKind::kLocalFile) return ResolveLocalFile(manager, request);
  if (mayDownload && kind == SourceNameKind::kHttpUrl) {
    return ResolveUrl(manager, request, kProtocolHttp);
  }
  if (mayDownload && kind == SourceNameKind::kFtpUrl) {
    return ResolveUrl(manager, request, kProtocolFtp);
  }
  ReportError(request.error, result::BadPathName);
  return false;
}

}  // namespace

int32_t DecoderPassOf(IComponent* decoder, const std::string& extension, uint32_t requiredMask,
                      uint32_t excludedMask) noexcept {
  if (!decoder) return kDecoderNoOpener;
  try {
    OpenerRef opener;
    return PlanDecoder(decoder, extension, requiredMask, excludedMask, opener);
  } catch (...) {
    return kDecoderNoOpener;
  }
}

bool ResolveSource(Manager& manager, const char* name, IUnknown** source, int32_t pass,
                   uint32_t requiredMask, uint32_t excludedMask, IError** error) noexcept {
  if (!source) {
    ReportError(error, result::InvalidParameter);
    return false;
  }
  ManagerDiagnostics* diagnostics = ManagerDiagnostics::Of(manager);
  std::vector<OpenAttempt> attempts;
  bool opened = false;
  try {
    opened = ResolveName(manager,
                         Request{name, source, pass, requiredMask, excludedMask, error,
                                 diagnostics ? &attempts : nullptr},
                         true);
  } catch (...) {
    // Out of memory while splitting the name: nothing was opened.
    ReportError(error, result::Failure);
  }
  if (diagnostics) diagnostics->KeepSearch(attempts);
  return opened;
}

FileProbe SetFileProbe(FileProbe probe) noexcept {
  FileProbe previous = g_probe;
  g_probe = probe ? probe : &ProbeFileSystem;
  return previous;
}

}  // namespace tb
