// Source resolution: from a source name to a plug-in's source object.
#ifndef TB_SOURCES_SOURCE_RESOLUTION_H
#define TB_SOURCES_SOURCE_RESOLUTION_H

#include <tunebay/manager.h>
#include <tunebay/rules.h>

#include <string>

namespace tb {

class Manager;

/// Classifies `name`, checks that a local file exists, and offers it to the decoders in
/// the user's order: in pass 0 those that list its extension, in pass 1 (any pass but
/// 0) the others; pass -1 runs 0 then 1. http and ftp URLs are first fetched by a
/// downloader component and the local copy is resolved in their place.
///
/// True when a decoder's Open succeeded: `*source` holds its source object with one
/// reference for the caller. False otherwise, with an error object in `*error` when
/// the slot is given (BadPathName, the system error of a missing file, a decoder's
/// error with a final verdict, the last error of a decoder that lists the extension,
/// or FileInvalid). `source` must not be null.
bool ResolveSource(Manager& manager, const char* name, IUnknown** source, int32_t pass,
                   uint32_t requiredMask, uint32_t excludedMask, IError** error) noexcept;

/// Where a search for a name with `extension` under the two masks offers it to
/// `decoder`: the pass, or why never (DecoderPass).
int32_t DecoderPassOf(IComponent* decoder, const std::string& extension, uint32_t requiredMask,
                      uint32_t excludedMask) noexcept;

/// The existence probe: 0 when `path` can be opened for attribute access, else the
/// system error number. Replaceable so that tests can give the answers that a real
/// file system gives only with privileges (access denied, sharing violations).
using FileProbe = unsigned long (*)(const char* path);
FileProbe SetFileProbe(FileProbe probe) noexcept;

}  // namespace tb

#endif  // TB_SOURCES_SOURCE_RESOLUTION_H
