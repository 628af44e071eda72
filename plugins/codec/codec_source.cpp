#include "plugins/codec/codec_source.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "base/com.h"
#include "plugins/common/plugin_error.h"
#include "plugins/common/source_reads.h"
#include "plugins/wave/wave_probe.h"

namespace tb::codec {

using plugin::SetError;

std::string Utf8ToAnsi(const std::string& text) {
  if (text.empty()) return text;
  const int size = static_cast<int>(std::min<size_t>(text.size(), 1u << 20));
  const int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (wide <= 0) return std::string();
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, &w[0], wide);
  const int bytes = WideCharToMultiByte(CP_ACP, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), wide, &out[0], bytes, nullptr, nullptr);
  // A text stops at its first zero, as every text of the SDK does.
  out.resize(std::strlen(out.c_str()));
  return out;
}

CodecSource* CodecSource::Open(const char* path, const char* kind, const OpenFunction& open,
                               IError** error) noexcept {
  try {
    if (!path || !*path) {
      SetError(error, result::InvalidParameter, "no file name was given");
      return nullptr;
    }
    com_ptr<CodecSource> source = com_ptr<CodecSource>::adopt(new CodecSource());
    source->path_ = path;
    source->kind_ = kind;
    source->file_ = plugin::OpenFileReporting(source->path_, GENERIC_READ, FILE_SHARE_READ,
                                              OPEN_EXISTING, "cannot open", error);
    if (!source->file_) return nullptr;
    source->reader_ = std::make_unique<plugin::FileReader>(source->file_.get());
    source->fileSize_ = source->reader_->Size();
    Opened opened = open(*source->reader_);
    if (!opened.decoder) {
      if (source->reader_->last_error() != 0) {
        plugin::SetReadFault(error, source->path_, source->reader_->last_error());
        return nullptr;
      }
      if (opened.unavailable) {
        const std::string text =
            std::string("the ") + kind + " decoder cannot run: " + opened.error;
        SetError(error, result::Failure, text.c_str());
        return nullptr;
      }
      // Only a file that is ours and broken stops the search for another decoder.
      const std::string text =
          opened.ours ? source->path_ + " is a damaged " + kind + " file: " + opened.error
                      : source->path_ + " is not a " + kind + " file (" + opened.error + ")";
      SetError(error, result::BadFormat, text.c_str(), 0, opened.ours ? kVerdictFinal : 0);
      return nullptr;
    }
    source->decoder_ = std::move(opened.decoder);
    const StreamInfo& info = source->decoder_->info();
    source->format_ =
        AudioFormat{info.format.sampleRate, info.format.bitsPerSample, info.format.channels};
    source->frameBytes_ = static_cast<uint32_t>(pcm::FrameBytes(info.format));
    source->tags_.title = Utf8ToAnsi(info.tags.title);
    source->tags_.artist = Utf8ToAnsi(info.tags.artist);
    source->tags_.album = Utf8ToAnsi(info.tags.album);
    source->tags_.genre = Utf8ToAnsi(info.tags.genre);
    source->year_ = wave::YearFromDate(info.tags.year);
    return source.detach();
  } catch (...) {
    SetError(error, result::Failure, "out of memory while opening a file");
    return nullptr;
  }
}

const AudioFormat* CodecSource::GetFormat(AudioFormat* scratch) noexcept {
  return plugin::FormatInto(format_, scratch);
}

bool CodecSource::Read(void* buffer, uint32_t size, uint32_t* length, int32_t* status,
                       IError** error) noexcept {
  if (!plugin::CheckReadSlots(buffer, length, status, error)) return false;
  try {
    if (!plugin::CheckFrameFits(size, frameBytes_, error)) return false;
    size_t got = 0;
    if (!decoder_->Read(static_cast<uint8_t*>(buffer), size / frameBytes_, &got)) {
      if (reader_->last_error() != 0) {
        plugin::SetReadFault(error, path_, reader_->last_error());
      } else {
        SetError(error, result::BadFormat, (path_ + ": " + decoder_->error()).c_str());
      }
      return false;
    }
    position_ += got;
    *length = static_cast<uint32_t>(got * frameBytes_);
    return true;
  } catch (...) {
    SetError(error, result::Failure, "out of memory while decoding");
    return false;
  }
}

uint64_t CodecSource::GetDataSize() noexcept {
  return (decoder_->info().frames * frameBytes_) & 0xFFFFFFFFu;
}

// A position past the end moves to the end, as the WAVE decoder's does.
bool CodecSource::Seek(uint64_t samplePosition, int32_t) noexcept {
  try {
    const uint64_t to = std::min(samplePosition, decoder_->info().frames);
    if (!decoder_->Seek(to)) return false;
    position_ = to;
    return true;
  } catch (...) {
    return false;
  }
}

int32_t CodecSource::QueryCount() noexcept {
  return static_cast<int32_t>(
      std::min<size_t>(decoder_->info().cues.size(), std::numeric_limits<int32_t>::max()));
}

int32_t CodecSource::QuerySamplePosition(int32_t index) noexcept {
  const auto& cues = decoder_->info().cues;
  if (index < 0 || static_cast<size_t>(index) >= cues.size()) return -1;
  const uint64_t at = cues[static_cast<size_t>(index)];
  if (at > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return -1;
  return static_cast<int32_t>(at);
}

}  // namespace tb::codec
