// What the decoders' sources (the WAVE decoder's and the codec decoders') share: the
// checks their Read starts with, and the text of a failed read.
#ifndef TB_PLUGINS_COMMON_SOURCE_READS_H
#define TB_PLUGINS_COMMON_SOURCE_READS_H

#include <tunebay/source.h>
#include <windows.h>

#include <string>

#include "plugins/common/plugin_error.h"

namespace tb::plugin {

/// A source's GetFormat: `own` copied into `scratch`, or `own` itself without one.
inline const AudioFormat* FormatInto(const AudioFormat& own, AudioFormat* scratch) noexcept {
  if (!scratch) return &own;
  *scratch = own;
  return scratch;
}

/// The start of a source's Read: the status (when asked for) cleared; false, with the
/// error slot filled, without a buffer or a length slot; else the length set to 0.
inline bool CheckReadSlots(const void* buffer, uint32_t* length, int32_t* status,
                           IError** error) noexcept {
  if (status) *status = 0;
  if (!buffer || !length) {
    SetError(error, result::InvalidParameter, "Read needs a buffer and a length slot");
    return false;
  }
  *length = 0;
  return true;
}

/// False, with the error slot filled, when a buffer of `size` bytes cannot hold one
/// frame of `frameBytes`. May throw std::bad_alloc.
inline bool CheckFrameFits(uint32_t size, uint32_t frameBytes, IError** error) {
  if (size >= frameBytes) return true;
  const std::string text = "a buffer of " + std::to_string(size) +
                           " bytes cannot hold one frame of " + std::to_string(frameBytes) +
                           " bytes";
  SetError(error, result::InsufficientBuffer, text.c_str());
  return false;
}

/// The error of a read of `path` that failed with the Windows error `code`. May throw
/// std::bad_alloc.
inline void SetReadFault(IError** error, const std::string& path, DWORD code) {
  const std::string text = "cannot read " + path + ": " + SystemErrorText(code);
  SetError(error, result::ReadFault, text.c_str(), code);
}

}  // namespace tb::plugin

#endif  // TB_PLUGINS_COMMON_SOURCE_READS_H
