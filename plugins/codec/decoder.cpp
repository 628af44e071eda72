#include "plugins/codec/decoder.h"

#include <algorithm>
#include <cstring>

namespace tb::codec {

// The stream's length was told at open; a stream that ends before it is cut off, and
// frames beyond it (a codec that overshoots) are not handed out.
bool BlockDecoder::Read(uint8_t* out, size_t frames, size_t* got) {
  *got = 0;
  const size_t frameBytes = pcm::FrameBytes(info_.format);
  frames = static_cast<size_t>(std::min<uint64_t>(frames, info_.frames - position_));
  while (*got < frames) {
    if (pendingStart_ == pending_.size()) {
      pending_.clear();
      pendingStart_ = 0;
      if (end_) break;
      // Blocks that fit go straight into the caller's buffer; only the rest is copied.
      direct_ = out + *got * frameBytes;
      directRoom_ = (frames - *got) * frameBytes;
      const size_t room = directRoom_;
      const bool ok = DecodeBlock();
      *got += (room - directRoom_) / frameBytes;
      direct_ = nullptr;
      directRoom_ = 0;
      if (!ok) return false;
      continue;
    }
    const size_t have = (pending_.size() - pendingStart_) / frameBytes;
    const size_t take = std::min(have, frames - *got);
    std::memcpy(out + *got * frameBytes, pending_.data() + pendingStart_, take * frameBytes);
    pendingStart_ += take * frameBytes;
    *got += take;
  }
  if (*got == 0 && frames > 0) {
    return Fail("the stream ends at frame " + std::to_string(position_) + " of " +
                std::to_string(info_.frames) + ": the file is cut off");
  }
  position_ += *got;
  return true;
}

uint8_t* BlockDecoder::Output(size_t bytes) {
  output_ += bytes;
  if (pending_.empty() && bytes <= directRoom_) {
    uint8_t* at = direct_;
    direct_ += bytes;
    directRoom_ -= bytes;
    return at;
  }
  const size_t at = pending_.size();
  pending_.resize(at + bytes);
  return pending_.data() + at;
}

bool BlockDecoder::Seek(uint64_t frame) {
  pending_.clear();
  pendingStart_ = 0;
  end_ = false;
  position_ = std::min(frame, info_.frames);
  if (frame >= info_.frames) {
    end_ = true;
    return true;
  }
  return SeekTo(frame);
}

bool Cursor::seek(uint64_t offset) {
  if (offset > size_) return false;
  pos_ = offset;
  return true;
}

size_t Cursor::read(void* out, size_t n) {
  auto* dst = static_cast<uint8_t*>(out);
  size_t done = 0;
  while (done < n && pos_ < size_) {
    if (pos_ >= bufferAt_ && pos_ < bufferAt_ + buffer_.size()) {
      const size_t at = static_cast<size_t>(pos_ - bufferAt_);
      const size_t take = std::min(n - done, buffer_.size() - at);
      std::memcpy(dst + done, buffer_.data() + at, take);
      done += take;
      pos_ += take;
      continue;
    }
    if (n - done >= kBuffer) {
      // A large read goes straight to the caller's buffer.
      const size_t want = n - done;
      const size_t got = reader_.ReadAt(pos_, dst + done, want);
      done += got;
      pos_ += got;
      if (got < want && pos_ < size_) failed_ = true;
      break;
    }
    buffer_.resize(kBuffer);
    const size_t got = reader_.ReadAt(pos_, buffer_.data(), kBuffer);
    buffer_.resize(got);
    bufferAt_ = pos_;
    if (got == 0) {
      failed_ = true;
      break;
    }
  }
  return done;
}

void PutSample(int32_t value, uint32_t bits, int32_t containerBits, uint8_t* out) {
  const int shift = containerBits - static_cast<int>(bits);
  uint32_t v = static_cast<uint32_t>(value) << shift;
  switch (containerBits) {
    case 8:
      out[0] = static_cast<uint8_t>(v + 128);
      break;
    case 16:
      out[0] = static_cast<uint8_t>(v);
      out[1] = static_cast<uint8_t>(v >> 8);
      break;
    case 24:
      out[0] = static_cast<uint8_t>(v);
      out[1] = static_cast<uint8_t>(v >> 8);
      out[2] = static_cast<uint8_t>(v >> 16);
      break;
    default:
      out[0] = static_cast<uint8_t>(v);
      out[1] = static_cast<uint8_t>(v >> 8);
      out[2] = static_cast<uint8_t>(v >> 16);
      out[3] = static_cast<uint8_t>(v >> 24);
      break;
  }
}

int32_t ContainerBits(uint32_t bits) {
  if (bits <= 8) return 8;
  if (bits <= 16) return 16;
  if (bits <= 24) return 24;
  return 32;
}

std::string Latin1ToUtf8(const char* text, size_t size) {
  std::string out;
  for (size_t i = 0; i < size && text[i] != 0; ++i) {
    const auto c = static_cast<uint8_t>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

void TakeVorbisComment(const char* entry, size_t size, wav::Tags* tags) {
  const char* eq = static_cast<const char*>(std::memchr(entry, '=', size));
  if (!eq) return;
  std::string name(entry, static_cast<size_t>(eq - entry));
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  std::string* field = nullptr;
  if (name == "TITLE")
    field = &tags->title;
  else if (name == "ARTIST")
    field = &tags->artist;
  else if (name == "ALBUM")
    field = &tags->album;
  else if (name == "GENRE")
    field = &tags->genre;
  else if (name == "DATE")
    field = &tags->year;
  if (!field || !field->empty()) return;
  const char* value = eq + 1;
  const size_t len = size - static_cast<size_t>(value - entry);
  field->assign(value, strnlen(value, len));
}

}  // namespace tb::codec
