// The source object of the codec plug-ins: one open file behind a codec::Decoder.
//
// It behaves as the WAVE decoder's source does (plugins/wave/wave_source.h): whole
// frames per Read, true with length 0 at the end, Start and Stop do not move the read
// position, positions and lengths in frames. Interfaces: ISourceData, ISourceControl,
// ISourcePosition, ISourceSeek, ISampleQuery (cue points), ITagInfo, IFileInfo and
// ILifetime on one object with one count (plugins/common/shared_count.h), which is
// handed to the library's proxy by classic aggregation as the WAVE decoder's is.
#ifndef TB_PLUGINS_CODEC_CODEC_SOURCE_H
#define TB_PLUGINS_CODEC_CODEC_SOURCE_H

#include <tunebay/source.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "base/handles.h"
#include "plugins/codec/decoder.h"
#include "plugins/common/file_stream.h"
#include "plugins/common/live_objects.h"
#include "plugins/common/shared_count.h"

namespace tb::codec {

/// Makes a decoder over an open file's reader.
using OpenFunction = std::function<Opened(wav::ByteReader& reader)>;

/// UTF-8 text in the system code page (characters it lacks become '?').
std::string Utf8ToAnsi(const std::string& text);

class CodecSource final
    : public plugin::SharedObject<CodecSource, ISourceData, ISourceControl, ISourcePosition,
                                  ISourceSeek, ISampleQuery, ITagInfo, IFileInfo> {
 public:
  /// Opens `path` and hands its reader to `open`. On success the source carries one
  /// reference for the caller. On failure: null, and the error slot (when given)
  /// receives an error that names `kind` ("FLAC", "MP3" ...); a file that carries the
  /// decoder's signature but is damaged gets the final verdict.
  static CodecSource* Open(const char* path, const char* kind, const OpenFunction& open,
                           IError** error) noexcept;

  CodecSource(const CodecSource&) = delete;
  CodecSource& operator=(const CodecSource&) = delete;

  // ISourceData
  const AudioFormat* TB_STDCALL GetFormat(AudioFormat* scratch) noexcept override;
  bool TB_STDCALL Read(void* buffer, uint32_t size, uint32_t* length, int32_t* status,
                       IError** error) noexcept override;
  uint64_t TB_STDCALL GetDataSize() noexcept override;

  // ISourceControl
  bool TB_STDCALL Start(int32_t) noexcept override {
    started_ = true;
    return true;
  }
  bool TB_STDCALL Stop(int32_t) noexcept override {
    started_ = false;
    return true;
  }
  uint32_t TB_STDCALL GetState() noexcept override { return started_ ? 1 : 0; }

  // ISourcePosition
  uint64_t TB_STDCALL GetPosition() noexcept override { return position_; }
  uint64_t TB_STDCALL GetBlockAlign() noexcept override { return frameBytes_; }
  uint64_t TB_STDCALL GetLength() noexcept override { return decoder_->info().frames; }

  // ISourceSeek
  bool TB_STDCALL Seek(uint64_t samplePosition, int32_t argument) noexcept override;

  // ISampleQuery
  int32_t TB_STDCALL QueryCount() noexcept override;
  int32_t TB_STDCALL QuerySamplePosition(int32_t index) noexcept override;

  // ITagInfo
  const char* TB_STDCALL GetTitle() noexcept override { return Tag(tags_.title); }
  const char* TB_STDCALL GetArtist() noexcept override { return Tag(tags_.artist); }
  const char* TB_STDCALL GetAlbum() noexcept override { return Tag(tags_.album); }
  const char* TB_STDCALL GetGenre() noexcept override { return Tag(tags_.genre); }
  int32_t TB_STDCALL GetYear() noexcept override { return year_; }

  // IFileInfo
  uint64_t TB_STDCALL GetFileSize() noexcept override { return fileSize_; }
  const char* TB_STDCALL GetFilePath() noexcept override { return path_.c_str(); }

 private:
  CodecSource() = default;
  ~CodecSource() = default;
  friend struct tb::object_access;

  static const char* Tag(const std::string& text) noexcept {
    return text.empty() ? nullptr : text.c_str();
  }

  plugin::LiveObject live_;
  unique_hfile file_;
  std::unique_ptr<plugin::FileReader> reader_;
  std::unique_ptr<Decoder> decoder_;  // reads through reader_, so it goes first
  std::string path_;
  std::string kind_;
  uint64_t fileSize_ = 0;
  AudioFormat format_ = {};
  uint32_t frameBytes_ = 0;
  wav::Tags tags_;  // in the system code page
  int32_t year_ = 0;
  uint64_t position_ = 0;
  bool started_ = false;
};

}  // namespace tb::codec

#endif  // TB_PLUGINS_CODEC_CODEC_SOURCE_H
