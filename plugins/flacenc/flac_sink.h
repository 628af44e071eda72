// A sink object of the FLAC encoder: audio data in, one FLAC file out, through libFLAC.
//
// It keeps the WAVE writer's life of the file (plugins/wavewriter/wave_sink.h): the
// factory creates the file empty, tags set before Start go into a Vorbis comment, Start
// begins the stream, Write appends samples (partial frames wait for their rest), Stop
// finishes it: libFLAC then rewrites the STREAMINFO block with the length and the MD5 of
// the audio, so the file passes a verifying decoder. Released without a successful
// Stop, the file is incomplete, for the caller to delete. The compression level is set
// through ISinkCompression before Start.
//
// Interfaces: ISinkData, ISourceControl, ISinkTags, ISinkCompression and ILifetime, on
// one object with one count (plugins/common/shared_count.h).
#ifndef TB_PLUGINS_FLACENC_FLAC_SINK_H
#define TB_PLUGINS_FLACENC_FLAC_SINK_H

#include <FLAC/stream_encoder.h>
#include <tunebay/encoder.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/handles.h"
#include "plugins/common/live_objects.h"
#include "plugins/common/shared_count.h"
#include "plugins/common/sink_frames.h"
#include "plugins/wav/wav_file.h"

namespace tb::flacenc {

/// The compression levels (libFLAC's presets), offered through ISinkCompression: 0 is
/// the fastest, 8 makes the smallest files, 5 (libFLAC's own default) is the standard.
const int32_t kLowestLevel = 0;
const int32_t kHighestLevel = 8;
const int32_t kStandardLevel = 5;

/// The format a FLAC file can hold nearest to `wanted`: whole-byte samples of 8 to 32
/// bits, 1 to 8 channels, a rate up to 1048575 Hz. False when nothing is near.
bool NearestFlacFormat(const AudioFormat& wanted, AudioFormat* out) noexcept;

using plugin::kSinkFailed;
using plugin::kSinkFinished;
using plugin::kSinkIdle;
using plugin::kSinkWriting;

class FlacSink final : public plugin::SharedObject<FlacSink, ISinkData, ISourceControl, ISinkTags,
                                                   ISinkCompression> {
 public:
  static FlacSink* Create(const char* path, const AudioFormat& format, IError** error) noexcept;

  FlacSink(const FlacSink&) = delete;
  FlacSink& operator=(const FlacSink&) = delete;

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

  // ISinkCompression
  bool TB_STDCALL GetLevelRange(int32_t* lowest, int32_t* highest,
                                int32_t* standard) noexcept override;
  bool TB_STDCALL SetLevel(int32_t level) noexcept override;
  int32_t TB_STDCALL GetLevel() noexcept override { return level_; }

 private:
  FlacSink() = default;
  ~FlacSink();
  friend struct tb::object_access;

  bool Begin() noexcept;
  bool Encode(const uint8_t* data, size_t frames, IError** error);

  static FLAC__StreamEncoderWriteStatus WriteCb(const FLAC__StreamEncoder*, const FLAC__byte[],
                                                size_t, uint32_t, uint32_t, void*);
  static FLAC__StreamEncoderSeekStatus SeekCb(const FLAC__StreamEncoder*, FLAC__uint64, void*);
  static FLAC__StreamEncoderTellStatus TellCb(const FLAC__StreamEncoder*, FLAC__uint64*, void*);

  plugin::LiveObject live_;
  std::string path_;
  AudioFormat format_ = {};
  wav::Tags tags_;  // UTF-8
  unique_hfile file_;
  DWORD writeError_ = 0;
  FLAC__StreamEncoder* encoder_ = nullptr;
  FLAC__StreamMetadata* comment_ = nullptr;
  std::vector<FLAC__int32> samples_;
  plugin::FrameJoiner frames_;
  int32_t level_ = kStandardLevel;
  uint32_t state_ = kSinkIdle;
};

}  // namespace tb::flacenc

#endif  // TB_PLUGINS_FLACENC_FLAC_SINK_H
