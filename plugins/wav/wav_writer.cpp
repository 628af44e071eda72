#include <cstring>
#include <limits>

#include "plugins/wav/wav_file.h"

namespace tb::wav {

namespace {

void Put16(std::vector<uint8_t>* b, uint32_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>* b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutId(std::vector<uint8_t>* b, const char* id) { b->insert(b->end(), id, id + 4); }

// The usual speaker masks for 1 to 8 channels, in the order the channel mixer assumes.
uint32_t DefaultMask(int32_t channels) {
  static const uint32_t kMasks[9] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
  return channels <= 8 ? kMasks[channels] : 0;
}

void PutInfoItem(std::vector<uint8_t>* b, const char* id, const std::string& text) {
  const size_t len = std::strlen(text.c_str());  // stops at an embedded zero
  if (len == 0) return;
  PutId(b, id);
  Put32(b, static_cast<uint32_t>(len + 1));
  b->insert(b->end(), text.c_str(), text.c_str() + len + 1);
  if ((len + 1) & 1) b->push_back(0);
}

}  // namespace

bool Writer::Fail(const std::string& text) {
  error_ = text;
  state_ = State::kFailed;
  return false;
}

bool Writer::Begin(const pcm::Format& format, const Tags& tags) {
  if (state_ != State::kIdle) return Fail("the writer was already begun");
  const int32_t bits = format.bitsPerSample;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return Fail("sample size must be 8, 16, 24 or 32 bits");
  }
  const int64_t align = static_cast<int64_t>(format.channels) * (bits / 8);
  if (format.channels < 1 || align > 0xFFFF) return Fail("channel count out of range");
  if (format.sampleRate < 1) return Fail("sample rate must be positive");

  std::vector<uint8_t> h;
  PutId(&h, "RIFF");
  Put32(&h, 0);  // patched by Finish
  PutId(&h, "WAVE");

  const bool extensible = format.channels > 2 || bits > 16;
  PutId(&h, "fmt ");
  Put32(&h, extensible ? 40 : 16);
  Put16(&h, extensible ? kFormatExtensible : kFormatPcm);
  Put16(&h, static_cast<uint32_t>(format.channels));
  Put32(&h, static_cast<uint32_t>(format.sampleRate));
  Put32(&h, static_cast<uint32_t>(static_cast<uint64_t>(format.sampleRate) * align));
  Put16(&h, static_cast<uint32_t>(align));
  Put16(&h, static_cast<uint32_t>(bits));
  if (extensible) {
    static const uint8_t kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                         0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    Put16(&h, 22);
    Put16(&h, static_cast<uint32_t>(bits));
    Put32(&h, DefaultMask(format.channels));
    h.insert(h.end(), kPcmGuid, kPcmGuid + 16);
  }

  std::vector<uint8_t> info;
  PutInfoItem(&info, "INAM", tags.title);
  PutInfoItem(&info, "IART", tags.artist);
  PutInfoItem(&info, "IPRD", tags.album);
  PutInfoItem(&info, "IGNR", tags.genre);
  PutInfoItem(&info, "ICRD", tags.year);
  if (!info.empty()) {
    if (info.size() + 4 > kMaxMetadataChunk) return Fail("tags too long");
    PutId(&h, "LIST");
    Put32(&h, static_cast<uint32_t>(info.size() + 4));
    PutId(&h, "INFO");
    h.insert(h.end(), info.begin(), info.end());
  }

  PutId(&h, "data");
  dataSizeField_ = h.size();
  Put32(&h, 0);
  headerSize_ = h.size();
  if (!out_.Write(h.data(), h.size())) return Fail("writing the header failed");
  state_ = State::kWriting;
  return true;
}

bool Writer::Write(const void* data, size_t size) {
  if (state_ != State::kWriting) return Fail("write outside Begin and Finish");
  // The RIFF size counts everything after its own field, a pad byte included.
  const uint64_t limit = 0xFFFFFFFFull - (headerSize_ - 8) - 1;
  if (size > limit - dataSize_) {
    error_ = "the WAVE size limit of 4 GiB is reached";
    return false;  // the file so far stays valid
  }
  if (size > 0 && !out_.Write(data, size)) return Fail("writing samples failed");
  dataSize_ += size;
  return true;
}

bool Writer::Finish() {
  if (state_ != State::kWriting) return Fail("finish without Begin");
  const uint8_t zero = 0;
  if ((dataSize_ & 1) && !out_.Write(&zero, 1)) return Fail("writing the pad byte failed");
  const uint64_t riffSize = headerSize_ - 8 + dataSize_ + (dataSize_ & 1);
  std::vector<uint8_t> field;
  Put32(&field, static_cast<uint32_t>(riffSize));
  Put32(&field, static_cast<uint32_t>(dataSize_));
  const uint64_t end = headerSize_ + dataSize_ + (dataSize_ & 1);
  if (!out_.Seek(4) || !out_.Write(field.data(), 4) || !out_.Seek(dataSizeField_) ||
      !out_.Write(field.data() + 4, 4) || !out_.Seek(end)) {
    return Fail("patching the header failed");
  }
  state_ = State::kDone;
  return true;
}

}  // namespace tb::wav
