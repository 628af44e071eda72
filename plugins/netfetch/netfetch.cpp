// zqnetfetch.dll: the network downloader, and a worked example of a plug-in library.
//
// What the manager asks of a plug-in library, and how this one answers:
//
// * The file name. The manager loads libraries from its plug-in folder whose names
//   begin with "zq" (or a few fixed names), so this one is zqnetfetch.dll.
// * Two entry points, extern "C" __cdecl, exported under plain names through
//   netfetch.def: ORVA_PLUGIN_GetPrimaryAudioObject hands out the primary audio
//   object with one reference, which passes to the caller; ORVA_PLUGIN_ReadyToFinish
//   says whether the library may be unloaded now.
// * The primary object is a component (IComponent). This library offers a single
//   component of kind kKindDownloader; a library with several would hand out a
//   collection (kind kKindCollection, IComponentCollection) instead.
// * After every library is loaded the manager calls Setup once with its IManager, and
//   Shutdown once before it unloads the library. A false Setup removes the component.
// * A downloader answers IDownloader. The manager holds on to the first downloader
//   that sets up, and for an http or ftp source name calls Download with a 256-byte
//   buffer for the local copy's path; then it opens that file with its decoders,
//   which choose by the extension, so the local copy keeps the URL's extension.
// * Failures come back as false plus, when the caller gave an error slot, an error
//   object of the plug-in's own (plugins/common/plugin_error.h) with a readable
//   message.
// * Nothing thrown may leave an interface operation, so each one that can allocate
//   catches at its edge.
#include <tunebay/component.h>
#include <windows.h>

#include <new>
#include <string>
#include <vector>

#include "base/com.h"
#include "base/lock.h"
#include "plugins/common/live_objects.h"
#include "plugins/netfetch/fetch.h"
#include "plugins/netfetch/net_error.h"

namespace tb::netfetch {
namespace {

const char kName[] = "Network Downloader (http, ftp)";
const char kVendor[] = "Fenwick Audio Works";

// The object's one identity is its IComponent table, which is also what IID_IUnknown
// gives. Its count is a component's: the manager's catalogue reference does not keep
// the library loaded, every further one does (plugins/common/live_objects.h).
class NetDownloader final : public implements_with<NetDownloader, plugin::ComponentCount,
                                                   IComponent, IDownloader, IComponentAbout> {
 public:
  // IComponent
  const char* TB_STDCALL GetName() noexcept override { return kName; }
  int32_t TB_STDCALL GetKind() noexcept override { return kKindDownloader; }

  // The manager passes itself without a reference. A downloader needs nothing from
  // it, so it keeps nothing: holding the manager would only make a cycle.
  bool TB_STDCALL Setup(IManager*, IError**) noexcept override { return true; }

  // The last call before the library goes: the local copies this component made are
  // deleted (decoders have no use for them once they are unloaded too). A copy that
  // someone still has open stays; DeleteFile refuses it.
  void TB_STDCALL Shutdown() noexcept override {
    std::vector<std::string> copies;
    {
      LockGuard guard(lock_);
      copies.swap(copies_);
    }
    for (const std::string& path : copies) DeleteFileA(path.c_str());
  }

  // IDownloader
  uint32_t TB_STDCALL GetProtocols() noexcept override { return kProtocolHttp | kProtocolFtp; }

  // Blocks the calling thread for the whole transfer; every wait on the server is
  // bounded by the timeout (fetch.h). `reserved` is 0 and has no meaning yet.
  bool TB_STDCALL Download(const char* url, char* localPath, int32_t /*reserved*/,
                           IError** error) noexcept override {
    plugin::LiveObject busy;  // the library stays loaded while a transfer runs
    Failure failure;
    bool ok = false;
    try {
      if (!url || !*url || !localPath) {
        failure.code = result::InvalidParameter;
        failure.message = "Download needs a URL and a buffer for the local path";
      } else {
        std::string saved;
        ok = FetchToTempFile(url, localPath, kLocalPathSize, CurrentTimeoutMs(), CurrentSizeLimit(),
                             &saved, &failure);
        if (ok) Remember(saved);
      }
    } catch (...) {
      ok = false;
      failure = Failure();
      failure.code = result::Failure;
      failure.systemError = ERROR_NOT_ENOUGH_MEMORY;
      failure.message = "Out of memory while downloading";
    }
    if (ok) return true;
    // Whatever the transfer wrote into the buffer names no file any more.
    if (localPath) localPath[0] = '\0';
    if (error) *error = MakeError(failure);
    return false;
  }

  // IComponentAbout
  const char* TB_STDCALL GetVendor() noexcept override { return kVendor; }
  bool TB_STDCALL HasAboutBox() noexcept override { return false; }
  void TB_STDCALL ShowAboutBox() noexcept override {}

 private:
  // The copy is the caller's either way; running out of memory here only means that
  // Shutdown will not delete it.
  void Remember(const std::string& path) noexcept {
    LockGuard guard(lock_);
    try {
      copies_.push_back(path);
    } catch (...) {
    }
  }

  RecursiveLock lock_;
  std::vector<std::string> copies_;
};

}  // namespace
}  // namespace tb::netfetch

// Each call makes a new component with one reference, which passes to the caller.
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) noexcept {
  if (!out) return false;
  *out = new (std::nothrow) tb::netfetch::NetDownloader();
  return *out != nullptr;
}

// True only when nothing of this library is alive but the catalogue's component
// reference: no error object, no download running (plugins/common/live_objects.h).
TB_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() noexcept { return tb::plugin::NoLiveObjects(); }
