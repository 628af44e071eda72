// A sink object of the WAVE writer: audio data in, one WAVE file out.
//
// Interfaces: ISinkData, ISourceControl, ISinkTags and ILifetime, all on one object
// with one count (plugins/common/shared_count.h says how that count meets the library's
// sink proxy).
//
// The life of the file, as include/tunebay/encoder.h promises it:
//  - the factory creates the file empty (replacing one of the same name);
//  - tags set through ISinkTags before Start go into the header;
//  - Start writes the header; Write appends samples; Stop pads the data, patches the
//    sizes and closes the file, which is then complete; Stop without a Start writes a
//    complete file without samples;
//  - a sink released without a successful Stop leaves the file as it is: incomplete
//    (its header claims no samples), for the caller to delete.
// Data need not arrive in whole frames: a partial frame waits for the rest, and one
// still incomplete at Stop is left out. A sink writes one file: once stopped, it cannot
// be started again.
#ifndef TB_PLUGINS_WAVEWRITER_WAVE_SINK_H
#define TB_PLUGINS_WAVEWRITER_WAVE_SINK_H

#include <tunebay/encoder.h>
#include <windows.h>

#include <string>

#include "base/handles.h"
#include "plugins/common/file_stream.h"
#include "plugins/common/live_objects.h"
#include "plugins/common/shared_count.h"
#include "plugins/common/sink_frames.h"
#include "plugins/wav/wav_file.h"

namespace tb::wavewriter {

using plugin::kSinkFailed;
using plugin::kSinkFinished;
using plugin::kSinkIdle;
using plugin::kSinkWriting;

/// The format a WAVE file can hold nearest to `wanted`: sample sizes are rounded up to
/// whole bytes (8 to 32 bits), the channels cut to what a frame of 65535 bytes holds.
/// False when nothing is near: no channels, no rate or no bits.
bool NearestWritableFormat(const AudioFormat& wanted, AudioFormat* out) noexcept;

class WaveSink final : public plugin::SharedObject<WaveSink, ISinkData, ISourceControl, ISinkTags> {
 public:
  /// ISinkFactory::CreateFileSink's work once its arguments are checked: a sink for
  /// `path` in the nearest writable format to `format`, with one reference for the
  /// caller; null with the error slot filled when the format or the file fails.
  static WaveSink* Create(const char* path, const AudioFormat& format, IError** error) noexcept;

  WaveSink(const WaveSink&) = delete;
  WaveSink& operator=(const WaveSink&) = delete;

  // ISinkData
  bool TB_STDCALL Write(const void* data, uint32_t length, int32_t argument,
                        IError** error) noexcept override;
  AudioFormat* TB_STDCALL GetFormat(AudioFormat* out) noexcept override;

  // ISourceControl
  bool TB_STDCALL Start(int32_t argument) noexcept override;
  bool TB_STDCALL Stop(int32_t argument) noexcept override;
  uint32_t TB_STDCALL GetState() noexcept override { return state_; }

  // ISinkTags
  bool TB_STDCALL SetTags(const char* title, const char* artist, const char* album,
                          const char* genre, int32_t year) noexcept override;

 private:
  WaveSink() = default;
  ~WaveSink() = default;
  friend struct tb::object_access;

  bool Begin() noexcept;
  bool Append(const uint8_t* data, size_t size, IError** error);

  plugin::LiveObject live_;
  std::string path_;
  AudioFormat format_ = {};
  size_t frameBytes_ = 0;
  wav::Tags tags_;
  unique_hfile file_;
  plugin::FileWriter out_;
  wav::Writer writer_{out_};
  plugin::FrameJoiner frames_;
  uint32_t state_ = kSinkIdle;
};

}  // namespace tb::wavewriter

#endif  // TB_PLUGINS_WAVEWRITER_WAVE_SINK_H
