#include "plugins/wavewriter/wave_sink.h"

#include <algorithm>
#include <new>

#include "base/com.h"
#include "plugins/common/plugin_error.h"

namespace tb::wavewriter {

using plugin::SetError;

bool NearestWritableFormat(const AudioFormat& wanted, AudioFormat* out) noexcept {
  if (wanted.sampleRate <= 0 || wanted.channels <= 0 || wanted.bitsPerSample <= 0) return false;
  const int32_t bits = std::min<int32_t>((wanted.bitsPerSample + 7) / 8 * 8, 32);
  const int32_t maxChannels = 0xFFFF / (bits / 8);  // a frame's size is a 16-bit field
  *out = AudioFormat{wanted.sampleRate, bits, std::min(wanted.channels, maxChannels)};
  return true;
}

WaveSink* WaveSink::Create(const char* path, const AudioFormat& format, IError** error) noexcept {
  try {
    AudioFormat own;
    if (!NearestWritableFormat(format, &own)) {
      const std::string text = "a WAVE file cannot hold " + std::to_string(format.sampleRate) +
                               " Hz, " + std::to_string(format.bitsPerSample) + " bits, " +
                               std::to_string(format.channels) + " channels";
      SetError(error, result::BadFormat, text.c_str());
      return nullptr;
    }
    // Everything that can fail goes before the file is created, so a failure never
    // leaves a file behind.
    com_ptr<WaveSink> sink = com_ptr<WaveSink>::adopt(new WaveSink());
    sink->path_ = path;
    sink->format_ = own;
    sink->frameBytes_ = static_cast<size_t>(own.bitsPerSample / 8) * own.channels;
    sink->frames_.set_frame_bytes(sink->frameBytes_);
    sink->file_ = plugin::CreateFileReporting(sink->path_, GENERIC_WRITE, FILE_SHARE_READ, error);
    if (!sink->file_) return nullptr;
    sink->out_.set_file(sink->file_.get());
    return sink.detach();
  } catch (...) {
    SetError(error, result::Failure, "out of memory while creating a WAVE sink");
    return nullptr;
  }
}

// Releasing without Stop closes the file as it stands (incomplete), as the factory's
// contract says: the destructor closes it.

AudioFormat* WaveSink::GetFormat(AudioFormat* out) noexcept {
  if (!out) return &format_;
  *out = format_;
  return out;
}

bool WaveSink::SetTags(const char* title, const char* artist, const char* album, const char* genre,
                       int32_t year) noexcept {
  if (state_ != kSinkIdle) return false;
  try {
    wav::Tags tags;
    tags.title = title ? title : "";
    tags.artist = artist ? artist : "";
    tags.album = album ? album : "";
    tags.genre = genre ? genre : "";
    if (year > 0) tags.year = std::to_string(year);
    tags_ = std::move(tags);
    return true;
  } catch (...) {
    return false;
  }
}

bool WaveSink::Begin() noexcept {
  try {
    const pcm::Format f{format_.sampleRate, format_.bitsPerSample, format_.channels};
    if (!writer_.Begin(f, tags_)) {
      state_ = kSinkFailed;
      return false;
    }
    state_ = kSinkWriting;
    return true;
  } catch (...) {
    state_ = kSinkFailed;
    return false;
  }
}

bool WaveSink::Start(int32_t) noexcept {
  if (state_ == kSinkWriting) return true;
  if (state_ != kSinkIdle) return false;
  return Begin();
}

bool WaveSink::Stop(int32_t) noexcept {
  if (state_ == kSinkFinished) return true;
  if (state_ == kSinkFailed) return false;
  if (state_ == kSinkIdle && !Begin()) return false;
  frames_.clear();
  bool done = false;
  try {
    done = writer_.Finish();
  } catch (...) {
  }
  file_.reset();
  state_ = done ? kSinkFinished : kSinkFailed;
  return done;
}

bool WaveSink::Write(const void* data, uint32_t length, int32_t, IError** error) noexcept {
  // An empty block is nothing to do: a conversion may give no output for a small input.
  if (length == 0) return true;
  try {
    if (!plugin::CheckSinkWrite(data, state_, error)) return false;
    return frames_.Take(static_cast<const uint8_t*>(data), length,
                        [this, error](const uint8_t* whole, size_t frames) {
                          return Append(whole, frames * frameBytes_, error);
                        });
  } catch (...) {
    SetError(error, result::Failure, "out of memory while writing a WAVE file");
    return false;
  }
}

bool WaveSink::Append(const uint8_t* data, size_t size, IError** error) {
  if (size == 0) return true;
  out_.clear_error();
  if (writer_.Write(data, size)) return true;
  const DWORD code = out_.last_error();
  if (code != 0) {
    // The file cannot be completed after a failed write.
    state_ = kSinkFailed;
    const std::string text = "cannot write " + path_ + ": " + plugin::SystemErrorText(code);
    SetError(error, result::WriteFault, text.c_str(), code);
  } else {
    // The size limit: the file so far stays good, and Stop still completes it.
    const std::string text = path_ + ": " + writer_.error();
    SetError(error, result::WriteFault, text.c_str());
  }
  return false;
}

}  // namespace tb::wavewriter
