// What the encoders' sinks (the WAVE writer's and the FLAC encoder's) share: their
// states, the checks their Write starts with, and the joining of blocks that may end in
// the middle of a frame.
#ifndef TB_PLUGINS_COMMON_SINK_FRAMES_H
#define TB_PLUGINS_COMMON_SINK_FRAMES_H

#include <tunebay/error.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "plugins/common/plugin_error.h"

namespace tb::plugin {

/// GetState values of a sink.
enum SinkState : uint32_t {
  kSinkIdle = 0,      ///< created, not started
  kSinkWriting = 1,   ///< started: the file's start is written, samples may follow
  kSinkFinished = 2,  ///< stopped: the file is complete and closed
  kSinkFailed = 3,    ///< a write or the file's start failed; the file is incomplete
};

/// The checks a sink's Write makes of a block that is not empty: false, with the error
/// slot filled, when there is no data or the sink is not writing.
inline bool CheckSinkWrite(const void* data, uint32_t state, IError** error) noexcept {
  if (!data) {
    SetError(error, result::InvalidParameter, "Write was given no data");
    return false;
  }
  if (state != kSinkWriting) {
    SetError(error, result::WrongCall,
             state == kSinkIdle ? "the sink is not started" : "the sink is finished");
    return false;
  }
  return true;
}

/// Whole frames out of blocks of any size: the start of a frame whose rest has not come
/// yet waits here for the next block.
class FrameJoiner {
 public:
  /// Frames of `frameBytes` bytes (at least one). May throw std::bad_alloc.
  void set_frame_bytes(size_t frameBytes) {
    frameBytes_ = frameBytes;
    partial_.reserve(frameBytes);
  }

  /// Forgets a waiting partial frame: at the end it is left out.
  void clear() noexcept { partial_.clear(); }

  /// Hands `emit(data, frames)` the frames that `data` completes: first the one begun
  /// by earlier blocks, then the whole frames within `data`; keeps the rest. False as
  /// soon as `emit` returns false, and nothing is kept then. May throw std::bad_alloc.
  template <class Emit>
  bool Take(const uint8_t* data, size_t size, Emit&& emit) {
    if (!partial_.empty()) {
      const size_t take = std::min(size, frameBytes_ - partial_.size());
      partial_.insert(partial_.end(), data, data + take);
      data += take;
      size -= take;
      if (partial_.size() < frameBytes_) return true;
      const bool ok = emit(static_cast<const uint8_t*>(partial_.data()), size_t{1});
      partial_.clear();
      if (!ok) return false;
    }
    const size_t frames = size / frameBytes_;
    if (!emit(data, frames)) return false;
    partial_.assign(data + frames * frameBytes_, data + size);
    return true;
  }

 private:
  size_t frameBytes_ = 1;
  std::vector<uint8_t> partial_;
};

}  // namespace tb::plugin

#endif  // TB_PLUGINS_COMMON_SINK_FRAMES_H
