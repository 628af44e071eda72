#include "plugins/flacenc/flac_sink.h"

#include <FLAC/metadata.h>

#include <algorithm>
#include <new>

#include "base/com.h"
#include "plugins/common/file_stream.h"
#include "plugins/common/plugin_error.h"

namespace tb::flacenc {

using plugin::SetError;

namespace {

// Text in the system code page as UTF-8, which Vorbis comments hold.
std::string AnsiToUtf8(const char* text) {
  if (!text || !*text) return std::string();
  const int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (wide <= 1) return std::string();
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &w[0], wide);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &out[0], bytes, nullptr, nullptr);
  out.resize(static_cast<size_t>(bytes) - 1);
  return out;
}

}  // namespace

bool NearestFlacFormat(const AudioFormat& wanted, AudioFormat* out) noexcept {
  if (wanted.sampleRate <= 0 || wanted.channels <= 0 || wanted.bitsPerSample <= 0) return false;
  if (wanted.sampleRate > 1048575) return false;
  const int32_t bits = std::min<int32_t>((wanted.bitsPerSample + 7) / 8 * 8, 32);
  *out = AudioFormat{wanted.sampleRate, bits, std::min<int32_t>(wanted.channels, 8)};
  return true;
}

FlacSink* FlacSink::Create(const char* path, const AudioFormat& format, IError** error) noexcept {
  try {
    AudioFormat own;
    if (!NearestFlacFormat(format, &own)) {
      const std::string text = "a FLAC file cannot hold " + std::to_string(format.sampleRate) +
                               " Hz, " + std::to_string(format.bitsPerSample) + " bits, " +
                               std::to_string(format.channels) + " channels";
      SetError(error, result::BadFormat, text.c_str());
      return nullptr;
    }
    com_ptr<FlacSink> sink = com_ptr<FlacSink>::adopt(new FlacSink());
    sink->path_ = path;
    sink->format_ = own;
    sink->frames_.set_frame_bytes(static_cast<size_t>(own.bitsPerSample / 8) * own.channels);
    sink->encoder_ = FLAC__stream_encoder_new();
    if (!sink->encoder_) throw std::bad_alloc();
    // libFLAC rewrites the header at the end, so the file is opened for reading too.
    sink->file_ = plugin::CreateFileReporting(sink->path_, GENERIC_READ | GENERIC_WRITE,
                                              FILE_SHARE_READ, error);
    if (!sink->file_) return nullptr;
    return sink.detach();
  } catch (...) {
    SetError(error, result::Failure, "out of memory while creating a FLAC sink");
    return nullptr;
  }
}

FlacSink::~FlacSink() {
  // Deleting an encoder that was not finished finishes it; a sink released without Stop
  // should leave its file as it is, so the callbacks have nowhere to write by then.
  file_.reset();
  if (encoder_) FLAC__stream_encoder_delete(encoder_);
  if (comment_) FLAC__metadata_object_delete(comment_);
}

AudioFormat* FlacSink::GetFormat(AudioFormat* out) noexcept {
  if (!out) return &format_;
  *out = format_;
  return out;
}

bool FlacSink::SetTags(const char* title, const char* artist, const char* album, const char* genre,
                       int32_t year) noexcept {
  if (state_ != kSinkIdle) return false;
  try {
    wav::Tags tags;
    tags.title = AnsiToUtf8(title);
    tags.artist = AnsiToUtf8(artist);
    tags.album = AnsiToUtf8(album);
    tags.genre = AnsiToUtf8(genre);
    if (year > 0) tags.year = std::to_string(year);
    tags_ = std::move(tags);
    return true;
  } catch (...) {
    return false;
  }
}

bool FlacSink::GetLevelRange(int32_t* lowest, int32_t* highest, int32_t* standard) noexcept {
  if (lowest) *lowest = kLowestLevel;
  if (highest) *highest = kHighestLevel;
  if (standard) *standard = kStandardLevel;
  return true;
}

bool FlacSink::SetLevel(int32_t level) noexcept {
  if (state_ != kSinkIdle || level < kLowestLevel || level > kHighestLevel) return false;
  level_ = level;
  return true;
}

bool FlacSink::Begin() noexcept {
  state_ = kSinkFailed;
  FLAC__stream_encoder_set_channels(encoder_, static_cast<uint32_t>(format_.channels));
  FLAC__stream_encoder_set_bits_per_sample(encoder_, static_cast<uint32_t>(format_.bitsPerSample));
  FLAC__stream_encoder_set_sample_rate(encoder_, static_cast<uint32_t>(format_.sampleRate));
  FLAC__stream_encoder_set_compression_level(encoder_, static_cast<uint32_t>(level_));
  // Rates and widths outside the streamable subset are still valid FLAC.
  FLAC__stream_encoder_set_streamable_subset(encoder_, false);
  const std::pair<const char*, const std::string*> fields[] = {{"TITLE", &tags_.title},
                                                               {"ARTIST", &tags_.artist},
                                                               {"ALBUM", &tags_.album},
                                                               {"GENRE", &tags_.genre},
                                                               {"DATE", &tags_.year}};
  comment_ = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
  if (!comment_) return false;
  for (const auto& f : fields) {
    if (f.second->empty()) continue;
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, f.first,
                                                                        f.second->c_str()) ||
        !FLAC__metadata_object_vorbiscomment_append_comment(comment_, entry, false)) {
      return false;
    }
  }
  FLAC__StreamMetadata* blocks[] = {comment_};
  FLAC__stream_encoder_set_metadata(encoder_, blocks, 1);
  if (FLAC__stream_encoder_init_stream(encoder_, WriteCb, SeekCb, TellCb, nullptr, this) !=
      FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
    return false;
  }
  state_ = kSinkWriting;
  return true;
}

bool FlacSink::Start(int32_t) noexcept {
  if (state_ == kSinkWriting) return true;
  if (state_ != kSinkIdle) return false;
  return Begin();
}

bool FlacSink::Stop(int32_t) noexcept {
  if (state_ == kSinkFinished) return true;
  if (state_ == kSinkFailed) return false;
  if (state_ == kSinkIdle && !Begin()) return false;
  frames_.clear();
  const bool done = FLAC__stream_encoder_finish(encoder_) && writeError_ == 0;
  file_.reset();
  state_ = done ? kSinkFinished : kSinkFailed;
  return done;
}

bool FlacSink::Write(const void* data, uint32_t length, int32_t, IError** error) noexcept {
  if (length == 0) return true;
  try {
    if (!plugin::CheckSinkWrite(data, state_, error)) return false;
    return frames_.Take(static_cast<const uint8_t*>(data), length,
                        [this, error](const uint8_t* whole, size_t frames) {
                          return Encode(whole, frames, error);
                        });
  } catch (...) {
    SetError(error, result::Failure, "out of memory while writing a FLAC file");
    return false;
  }
}

bool FlacSink::Encode(const uint8_t* data, size_t frames, IError** error) {
  if (frames == 0) return true;
  const size_t count = frames * static_cast<size_t>(format_.channels);
  samples_.resize(count);
  const int32_t bits = format_.bitsPerSample;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = data + i * static_cast<size_t>(bits / 8);
    switch (bits) {
      case 8:
        samples_[i] = static_cast<int32_t>(p[0]) - 128;
        break;
      case 16:
        samples_[i] = static_cast<int16_t>(p[0] | p[1] << 8);
        break;
      case 24:
        samples_[i] =
            static_cast<int32_t>(static_cast<uint32_t>(p[0] << 8 | p[1] << 16 | p[2] << 24)) >> 8;
        break;
      default:
        samples_[i] =
            static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
        break;
    }
  }
  if (FLAC__stream_encoder_process_interleaved(encoder_, samples_.data(),
                                               static_cast<uint32_t>(frames))) {
    return true;
  }
  state_ = kSinkFailed;
  const std::string text =
      writeError_ != 0
          ? "cannot write " + path_ + ": " + plugin::SystemErrorText(writeError_)
          : path_ + ": the FLAC encoder failed (" +
                FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(encoder_)] + ")";
  SetError(error, result::WriteFault, text.c_str(), writeError_);
  return false;
}

FLAC__StreamEncoderWriteStatus FlacSink::WriteCb(const FLAC__StreamEncoder*,
                                                 const FLAC__byte buffer[], size_t bytes, uint32_t,
                                                 uint32_t, void* self) {
  auto* sink = static_cast<FlacSink*>(self);
  if (!sink->file_) return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
  DWORD written = 0;
  if (!WriteFile(sink->file_.get(), buffer, static_cast<DWORD>(bytes), &written, nullptr) ||
      written != bytes) {
    sink->writeError_ = GetLastError();
    if (sink->writeError_ == 0) sink->writeError_ = ERROR_WRITE_FAULT;
    return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
  }
  return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus FlacSink::SeekCb(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                               void* self) {
  auto* sink = static_cast<FlacSink*>(self);
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (!sink->file_ || !SetFilePointerEx(sink->file_.get(), to, nullptr, FILE_BEGIN)) {
    return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
  }
  return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus FlacSink::TellCb(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                               void* self) {
  auto* sink = static_cast<FlacSink*>(self);
  LARGE_INTEGER zero, at;
  zero.QuadPart = 0;
  if (!sink->file_ || !SetFilePointerEx(sink->file_.get(), zero, &at, FILE_CURRENT)) {
    return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
  }
  *offset = static_cast<FLAC__uint64>(at.QuadPart);
  return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

}  // namespace tb::flacenc
