#include "plugins/wave/wave_source.h"

#include <algorithm>
#include <limits>
#include <new>

#include "base/com.h"
#include "plugins/common/plugin_error.h"
#include "plugins/common/source_reads.h"
#include "plugins/wave/wave_probe.h"

namespace tb::wave {

using plugin::SetError;

WaveSource* WaveSource::Open(const char* path, IError** error) noexcept {
  try {
    if (!path || !*path) {
      SetError(error, result::InvalidParameter, "no file name was given");
      return nullptr;
    }
    com_ptr<WaveSource> source = com_ptr<WaveSource>::adopt(new WaveSource());
    source->path_ = path;
    // Others may read the file meanwhile, but nobody may change it under us.
    source->file_ = plugin::OpenFileReporting(source->path_, GENERIC_READ, FILE_SHARE_READ,
                                              OPEN_EXISTING, "cannot open", error);
    if (!source->file_) return nullptr;

    plugin::FileReader reader(source->file_.get());
    source->fileSize_ = reader.Size();
    wav::ParseResult parsed = wav::Parse(reader);
    if (!parsed.ok) {
      if (reader.last_error() != 0) {
        plugin::SetReadFault(error, source->path_, reader.last_error());
        return nullptr;
      }
      // Only a file that is ours and broken stops the search: a file that is not WAVE,
      // or a WAVE file in an encoding we do not read, may still suit another decoder.
      std::string text;
      int32_t verdict = 0;
      switch (ProbeFileKind(reader)) {
        case FileKind::kNotWave:
          text = source->path_ + " is not a WAVE file (" + parsed.error + ")";
          break;
        case FileKind::kForeignEncoding:
          text = source->path_ + " is a WAVE file this decoder cannot read: " + parsed.error;
          break;
        case FileKind::kOwnEncoding:
          text = source->path_ + " is a damaged WAVE file: " + parsed.error;
          verdict = kVerdictFinal;
          break;
      }
      SetError(error, result::BadFormat, text.c_str(), 0, verdict);
      return nullptr;
    }

    source->info_ = std::move(parsed.info);
    const pcm::Format& f = source->info_.format;
    source->format_ = AudioFormat{f.sampleRate, f.bitsPerSample, f.channels};
    source->frameBytes_ = static_cast<uint32_t>(pcm::FrameBytes(f));
    source->year_ = YearFromDate(source->info_.tags.year);
    return source.detach();
  } catch (...) {
    SetError(error, result::Failure, "out of memory while opening a WAVE file");
    return nullptr;
  }
}

const AudioFormat* WaveSource::GetFormat(AudioFormat* scratch) noexcept {
  return plugin::FormatInto(format_, scratch);
}

bool WaveSource::Read(void* buffer, uint32_t size, uint32_t* length, int32_t* status,
                      IError** error) noexcept {
  if (!plugin::CheckReadSlots(buffer, length, status, error)) return false;
  try {
    const uint64_t left = info_.frameCount - position_;
    if (left == 0) return true;
    const uint32_t align = frameBytes_;
    if (!plugin::CheckFrameFits(size, align, error)) return false;
    const uint64_t frames = std::min<uint64_t>(size / align, left);
    const uint32_t stored = info_.blockAlign;
    // Floats are read into a buffer of their own and converted into the caller's.
    if (info_.floatBits != 0) floats_.resize(static_cast<size_t>(frames * stored));
    void* target = info_.floatBits != 0 ? static_cast<void*>(floats_.data()) : buffer;
    const size_t bytes = static_cast<size_t>(frames * stored);
    plugin::FileReader reader(file_.get());
    const size_t got = reader.ReadAt(info_.dataOffset + position_ * stored, target, bytes);
    const size_t whole = got / stored;
    if (whole == 0) {
      // The data was there when the file was opened, so this is a failure, not the end.
      if (reader.last_error() != 0) {
        plugin::SetReadFault(error, path_, reader.last_error());
      } else {
        SetError(error, result::ReadFault, (path_ + " became shorter while it was read").c_str());
      }
      return false;
    }
    if (info_.floatBits != 0) {
      const size_t samples = whole * static_cast<size_t>(format_.channels);
      const size_t clipped = wav::FloatToPcm24(floats_.data(), info_.floatBits, samples,
                                               static_cast<uint8_t*>(buffer));
      if (clipped > 0) {
        clipped_ += clipped;
        report_ = std::to_string(clipped_) + " samples of " + path_ +
                  " lay beyond full scale and were clipped to 24-bit PCM";
        if (status) *status = kStatusClipped;
      }
    }
    position_ += whole;
    *length = static_cast<uint32_t>(whole * align);
    return true;
  } catch (...) {
    SetError(error, result::Failure, "out of memory while reading a WAVE file");
    return false;
  }
}

uint64_t WaveSource::GetLength() noexcept {
  if (!info_.dataClamped || info_.declaredDataSize == 0xFFFFFFFFu || info_.blockAlign == 0) {
    return info_.frameCount;
  }
  return info_.declaredDataSize / info_.blockAlign;
}

uint64_t WaveSource::GetDataSize() noexcept {
  return (info_.frameCount * frameBytes_) & 0xFFFFFFFFu;
}

bool WaveSource::Start(int32_t) noexcept {
  state_ = kSourceStarted;
  return true;
}

bool WaveSource::Stop(int32_t) noexcept {
  state_ = kSourceIdle;
  return true;
}

// A position past the end moves to the end: a proxy that scales positions through a
// rounded ratio may ask for a frame or so beyond it.
bool WaveSource::Seek(uint64_t samplePosition, int32_t) noexcept {
  position_ = std::min(samplePosition, info_.frameCount);
  return true;
}

int32_t WaveSource::QueryCount() noexcept {
  return static_cast<int32_t>(
      std::min<size_t>(info_.cues.size(), std::numeric_limits<int32_t>::max()));
}

int32_t WaveSource::QuerySamplePosition(int32_t index) noexcept {
  if (index < 0 || static_cast<size_t>(index) >= info_.cues.size()) return -1;
  const uint32_t offset = info_.cues[static_cast<size_t>(index)].sampleOffset;
  if (offset > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return -1;
  return static_cast<int32_t>(offset);
}

}  // namespace tb::wave
