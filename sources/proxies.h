// The two proxies that stand between the host and a plug-in's source or sink object.
//
// A proxy lives on the wrapped object's inner count (sources/proxy_base.h). While any
// proxy lives, LiveProxyCount is above 0 and the manager keeps the plug-ins loaded.
#ifndef TB_SOURCES_PROXIES_H
#define TB_SOURCES_PROXIES_H

#include <tunebay/manager.h>

#include <cstdint>
#include <vector>

#include "base/com.h"
#include "sources/proxy_math.h"

namespace tb {

class Manager;

/// Wraps the source object in `*slot` in a SourceProxy that presents it in `requested`
/// (null: the source's own format). On success `*slot` holds the proxy's primary
/// interface, and the reference the slot held has become the host's reference to the
/// proxy. On failure the proxy has been destroyed, `*slot` is untouched and still the
/// caller's, and LiveProxyCount is back where it was.
///
/// Fails when the object lacks ILifetime, ISourceControl, ISourceData or
/// ISourcePosition, when Attach fails, or when the requested format or the source's own
/// describes no audio (no bytes per second): every size and position the proxy hands
/// out is divided by ratios of those, so such a proxy could not answer sensibly.
bool WrapSource(Manager& manager, IUnknown** slot, const AudioFormat* requested) noexcept;

/// Wraps the sink object in `*slot` in a SinkProxy that accepts data in `format` and
/// converts it to the sink's own. Success and failure as for WrapSource; fails when
/// the object lacks ILifetime, ISourceControl or ISinkData, or Attach fails.
bool WrapSink(Manager& manager, IUnknown** slot, const AudioFormat& format) noexcept;

namespace detail {

/// Whether two formats are equal in all three fields.
bool SameFormat(const AudioFormat& a, const AudioFormat& b) noexcept;

/// Copies a format that an object answered with: operations that take a caller's
/// record may fill it or return a pointer to their own. False for a null answer.
bool TakeFormat(const AudioFormat* answered, AudioFormat* out) noexcept;

/// Another interface of a borrowed object, or null.
template <class I>
com_ptr<I> QueryOf(IUnknown* object) noexcept {
  com_ptr<I> result;
  // A failed query may leave something in the slot; it is not a reference.
  if (object && FAILED(object->QueryInterface(iid_of<I>(), result.put_void()))) result.detach();
  return result;
}

/// Ends the stream that `count` has counted through `conversion` and appends the
/// output frames it still owes (at most count.Owed()) to `*tail`. A conversion that
/// offers IConversionEnd gives its own tail; any other is fed silence in the input
/// format until it has given what is owed (or, for one that never does, a few
/// seconds' worth). False when the tail could not be had in full; `*tail` then holds
/// what there was.
bool DrainConversion(IConversion* conversion, const StreamCount& count,
                     std::int32_t inBitsPerSample, std::vector<std::uint8_t>* tail) noexcept;

/// Start and Stop of a plug-in's control interface, with any fault or exception
/// raised inside turned into false.
bool GuardedStart(ISourceControl* control, int32_t argument) noexcept;
bool GuardedStop(ISourceControl* control, int32_t argument) noexcept;

}  // namespace detail

}  // namespace tb

#endif  // TB_SOURCES_PROXIES_H
