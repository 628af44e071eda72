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
//   object of the library's own (net_error.h) with a readable message.
// * Nothing thrown may leave an interface operation, so each one that can allocate
//   catches at its edge.
#include <base/com.h>
#include <base/lock.h>
#include <tunebay/component.h>
#include <windows.h>

#include <string>
#include <vector>

#include "fetch.h"
#include "module.h"
#include "net_error.h"

namespace netfetch {
namespace {

LONG g_pins = 0;

const char kName[] = "Network Downloader (http, ftp)";
const char kVendor[] = "Fenwick Audio Works";

class NetDownloader final : public tb::IComponent,
                            public tb::IDownloader,
                            public tb::IComponentAbout {
 public:
  NetDownloader() = default;
  ~NetDownloader() = default;
  NetDownloader(const NetDownloader&) = delete;
  NetDownloader& operator=(const NetDownloader&) = delete;

  // The object's one identity is its IComponent table, which is also what
  // IID_IUnknown gives.
  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    const tb::QueryRow rows[] = {
        {&IID_IUnknown, static_cast<tb::IComponent*>(this)},
        {&tb::iid_of<tb::IDownloader>(), static_cast<tb::IDownloader*>(this)},
        {&tb::iid_of<tb::IComponentAbout>(), static_cast<tb::IComponentAbout*>(this)},
    };
    return tb::query_from_table(iid, out, rows);
  }

  // The manager keeps exactly one reference to each component until it has asked
  // ORVA_PLUGIN_ReadyToFinish, and releases it just before it frees the library. So a
  // component's first reference does not pin the library; every further one does (a
  // host holding the component, an interface the manager queried).
  ULONG TB_STDCALL AddRef() noexcept override {
    LONG now = InterlockedIncrement(&refs_);
    if (now > 1) Pin();
    return static_cast<ULONG>(now);
  }
  ULONG TB_STDCALL Release() noexcept override {
    LONG left = InterlockedDecrement(&refs_);
    if (left >= 1) Unpin();
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IComponent
  const char* TB_STDCALL GetName() noexcept override { return kName; }
  int32_t TB_STDCALL GetKind() noexcept override { return tb::kKindDownloader; }

  // The manager passes itself without a reference. A downloader needs nothing from
  // it, so it keeps nothing: holding the manager would only make a cycle.
  bool TB_STDCALL Setup(tb::IManager*, tb::IError**) noexcept override { return true; }

  // The last call before the library goes: the local copies this component made are
  // deleted (decoders have no use for them once they are unloaded too). A copy that
  // someone still has open stays; DeleteFile refuses it.
  void TB_STDCALL Shutdown() noexcept override {
    std::vector<std::string> copies;
    {
      tb::LockGuard guard(lock_);
      copies.swap(copies_);
    }
    for (const std::string& path : copies) DeleteFileA(path.c_str());
  }

  // IDownloader
  uint32_t TB_STDCALL GetProtocols() noexcept override {
    return tb::kProtocolHttp | tb::kProtocolFtp;
  }

  // Blocks the calling thread for the whole transfer; every wait on the server is
  // bounded by the timeout (fetch.h). `reserved` is 0 and has no meaning yet.
  bool TB_STDCALL Download(const char* url, char* localPath, int32_t /*reserved*/,
                           tb::IError** error) noexcept override {
    ScopedPin busy;
    Failure failure;
    bool ok = false;
    try {
      if (!url || !*url || !localPath) {
        failure.code = tb::result::InvalidParameter;
        failure.message = "Download needs a URL and a buffer for the local path";
      } else {
        std::string saved;
        ok = FetchToTempFile(url, localPath, tb::kLocalPathSize, CurrentTimeoutMs(), &saved,
                             &failure);
        if (ok) Remember(saved);
      }
    } catch (...) {
      ok = false;
      failure = Failure();
      failure.code = tb::result::Failure;
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
    tb::LockGuard guard(lock_);
    try {
      copies_.push_back(path);
    } catch (...) {
    }
  }

  LONG refs_ = 1;
  tb::RecursiveLock lock_;
  std::vector<std::string> copies_;
};

}  // namespace

void Pin() noexcept { InterlockedIncrement(&g_pins); }
void Unpin() noexcept { InterlockedDecrement(&g_pins); }
bool NothingPinned() noexcept { return InterlockedCompareExchange(&g_pins, 0, 0) == 0; }

}  // namespace netfetch

// The primary audio object: a new component on every call, with one reference that
// passes to the caller. False (and a null object) only when memory runs out.
extern "C" bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb::IComponent** out) {
  if (!out) return false;
  *out = nullptr;
  try {
    *out = new netfetch::NetDownloader();
  } catch (...) {
    return false;
  }
  return true;
}

// Ready when nothing of this library's code can still be called: no error object
// alive, no download running, no component referenced beyond the manager's own
// reference (see NetDownloader::AddRef).
extern "C" bool TB_CDECL ORVA_PLUGIN_ReadyToFinish() { return netfetch::NothingPinned(); }
