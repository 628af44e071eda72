// IManager::OpenSource and IManager::CreateSink: source resolution and the proxies.
#include "sources/manager_sources.h"

#include <memory>
#include <new>

#include "base/fault_guard.h"
#include "core/error_object.h"
#include "sources/manager_diagnostics.h"
#include "sources/manager_rules.h"
#include "sources/proxies.h"
#include "sources/proxy_math.h"
#include "sources/source_resolution.h"

namespace tb {

bool ManagerSources::OpenSource(const char* name, const AudioFormat* format, IUnknown** source,
                                int32_t pass, uint32_t requiredMask, uint32_t excludedMask,
                                IError** error) noexcept {
  const bool wrap = (requiredMask & kOpenWithProxy) != 0;
  // A proxy divides by the bytes per second and the sample rate of the format it
  // presents; one that describes no audio is refused before any decoder runs.
  if (wrap && format &&
      BytesPerSecond(format->sampleRate, format->bitsPerSample, format->channels) <= 0) {
    ReportError(error, result::InvalidParameter);
    return false;
  }
  if (!ResolveSource(manager_, name, source, pass, requiredMask, excludedMask, error)) {
    return false;
  }
  if (!wrap) return true;
  // Without a proxy the slot keeps the decoder's source object, which is the caller's.
  return WrapSource(manager_, source, format);
}

bool ManagerSources::CreateSink(ISinkCreator* creator, IUnknown** sink, const AudioFormat* format,
                                int32_t argument) noexcept {
  // The proxy compares the host's format with the sink's; without one there is
  // nothing to present.
  if (!creator || !sink || !format) return false;
  bool created = false;
  if (!Guarded([&] { created = creator->CreateSinkObject(sink, format, argument); })) {
    return false;
  }
  if (!created || !*sink) return false;
  return WrapSink(manager_, sink, *format);
}

bool AddSourceParts(Manager& manager) noexcept {
  ManagerSources* sources = new (std::nothrow) ManagerSources(manager);
  if (!sources || !manager.AddPart(std::unique_ptr<ManagerPart>(sources))) return false;
  manager.SetSourceService(sources);
  ManagerRules* rules = new (std::nothrow) ManagerRules(manager);
  return rules && manager.AddPart(std::unique_ptr<ManagerPart>(rules)) &&
         manager.SetFace(iid_of<IManagerRules>(), static_cast<IManagerRules*>(rules)) &&
         AddDiagnosticsPart(manager);
}

}  // namespace tb
