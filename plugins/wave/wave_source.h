// A source object of the WAVE decoder: one open file, read frame by frame.
//
// Interfaces: ISourceData, ISourceControl, ISourcePosition, ISourceSeek, ISampleQuery
// (the cue points), ITagInfo (the LIST INFO texts), IFileInfo, IError (the source's
// error text, below) and ILifetime, all on one object with one count (plugins/common/shared_count.h
// says how that count meets the library's proxies).
//
// Reading, as a host loop sees it:
//  - Read delivers whole frames only: the size is rounded down to the frame size
//    (GetBlockAlign); a size below one frame fails with InsufficientBuffer.
//  - At the end of the data Read returns true with length 0, and keeps doing so; that
//    is the end signal. The status slot is always set to 0.
//  - Start and Stop do not move the read position, so a host may Seek before it starts;
//    Seek(0) reads the file again. Reading does not require Start.
//  - Positions and lengths count frames; GetDataSize counts bytes of whole frames.
//  - Floating-point files (32 or 64 bits) are delivered as 24-bit integer PCM. Samples
//    beyond full scale are clipped: a Read that clipped any sets its status slot to
//    kStatusClipped, and the source's IError tells how many samples were clipped so far
//    (its message is empty while none were).
#ifndef TB_PLUGINS_WAVE_WAVE_SOURCE_H
#define TB_PLUGINS_WAVE_WAVE_SOURCE_H

#include <tunebay/source.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/handles.h"
#include "plugins/common/file_stream.h"
#include "plugins/common/live_objects.h"
#include "plugins/common/shared_count.h"
#include "plugins/wav/wav_file.h"

namespace tb::wave {

/// The status a Read gives when it clipped floating-point samples.
const int32_t kStatusClipped = 1;

/// GetState values of a source.
enum SourceState : uint32_t {
  kSourceIdle = 0,     ///< not started, or stopped
  kSourceStarted = 1,  ///< between Start and Stop
};

class WaveSource final
    : public plugin::SharedObject<WaveSource, ISourceData, ISourceControl, ISourcePosition,
                                  ISourceSeek, ISampleQuery, ITagInfo, IFileInfo, IError> {
 public:
  /// Opens and parses `path`. On success the source carries one reference for the
  /// caller. On failure: null, and the error slot (when given) receives an error that
  /// says what is wrong; a file that is a WAVE file of this decoder's kind but broken
  /// gets the final verdict, so the library offers it to no other decoder.
  static WaveSource* Open(const char* path, IError** error) noexcept;

  WaveSource(const WaveSource&) = delete;
  WaveSource& operator=(const WaveSource&) = delete;

  // ISourceData
  const AudioFormat* TB_STDCALL GetFormat(AudioFormat* scratch) noexcept override;
  bool TB_STDCALL Read(void* buffer, uint32_t size, uint32_t* length, int32_t* status,
                       IError** error) noexcept override;
  uint64_t TB_STDCALL GetDataSize() noexcept override;

  // ISourceControl
  bool TB_STDCALL Start(int32_t argument) noexcept override;
  bool TB_STDCALL Stop(int32_t argument) noexcept override;
  uint32_t TB_STDCALL GetState() noexcept override { return state_; }

  // ISourcePosition
  uint64_t TB_STDCALL GetPosition() noexcept override { return position_; }
  uint64_t TB_STDCALL GetBlockAlign() noexcept override { return frameBytes_; }
  /// The length the file's header declares. For a file cut short that is more than
  /// Read delivers: the position stops short of it, which is how a host learns of the
  /// damage. A declared size of 0xFFFFFFFF (a stream's "unknown") gives what is there.
  uint64_t TB_STDCALL GetLength() noexcept override;

  // ISourceSeek
  bool TB_STDCALL Seek(uint64_t samplePosition, int32_t argument) noexcept override;

  // ISampleQuery
  int32_t TB_STDCALL QueryCount() noexcept override;
  int32_t TB_STDCALL QuerySamplePosition(int32_t index) noexcept override;

  // ITagInfo
  const char* TB_STDCALL GetTitle() noexcept override { return Tag(info_.tags.title); }
  const char* TB_STDCALL GetArtist() noexcept override { return Tag(info_.tags.artist); }
  const char* TB_STDCALL GetAlbum() noexcept override { return Tag(info_.tags.album); }
  const char* TB_STDCALL GetGenre() noexcept override { return Tag(info_.tags.genre); }
  int32_t TB_STDCALL GetYear() noexcept override { return year_; }

  // IFileInfo
  uint64_t TB_STDCALL GetFileSize() noexcept override { return fileSize_; }
  const char* TB_STDCALL GetFilePath() noexcept override { return path_.c_str(); }

  // IError: what went wrong with the data that did not stop the reading.
  const char* TB_STDCALL GetMessage() noexcept override { return report_.c_str(); }
  uint32_t TB_STDCALL GetCode() noexcept override { return 0; }
  uint32_t TB_STDCALL GetSystemError() noexcept override { return 0; }

 private:
  WaveSource() = default;
  ~WaveSource() = default;
  friend struct tb::object_access;

  static const char* Tag(const std::string& text) noexcept {
    return text.empty() ? nullptr : text.c_str();
  }

  plugin::LiveObject live_;
  unique_hfile file_;
  std::string path_;
  uint64_t fileSize_ = 0;
  wav::WavInfo info_;
  AudioFormat format_ = {};
  int32_t year_ = 0;
  uint32_t frameBytes_ = 0;      // of a delivered frame (the stored one may be wider)
  uint64_t position_ = 0;        // in frames, at most info_.frameCount
  uint64_t clipped_ = 0;         // floating-point samples clipped so far
  std::string report_;           // the IError message
  std::vector<uint8_t> floats_;  // stored floating-point frames of one Read
  uint32_t state_ = kSourceIdle;
};

}  // namespace tb::wave

#endif  // TB_PLUGINS_WAVE_WAVE_SOURCE_H
