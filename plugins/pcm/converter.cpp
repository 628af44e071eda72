#include "plugins/pcm/converter.h"

#include <algorithm>
#include <cstring>

namespace tb::pcm {

namespace {

// Frames decoded at a time, so the sample buffers stay small whatever the block size.
const size_t kBatch = 4096;

}  // namespace

std::unique_ptr<Converter> Converter::Create(const Format& from, const Format& to,
                                             std::string* error, const ConvertOptions& options) {
  std::string why;
  if (!IsSupported(from, &why)) {
    if (error) *error = "source format: " + why;
    return nullptr;
  }
  if (!IsSupported(to, &why)) {
    if (error) *error = "target format: " + why;
    return nullptr;
  }
  std::unique_ptr<Converter> c(new Converter(from, to));
  if (from.sampleRate != to.sampleRate) {
    c->resampler_ = Resampler::Create(from.sampleRate, to.sampleRate,
                                      std::min(from.channels, to.channels), error);
    if (!c->resampler_) return nullptr;
  }
  if (options.dither && to.bitsPerSample < from.bitsPerSample) {
    c->dither_.reset(new Dither(to.channels));
  }
  return c;
}

Converter::Converter(const Format& from, const Format& to)
    : from_(from),
      to_(to),
      inFrameBytes_(FrameBytes(from)),
      outFrameBytes_(FrameBytes(to)),
      mix_(from.channels, to.channels),
      mixFirst_(to.channels < from.channels) {}

void Converter::Reset() {
  pendingSize_ = 0;
  out_.clear();
  if (resampler_) resampler_->Reset();
  if (dither_) dither_->Reset();
}

size_t Converter::MaxOutputSize(size_t size) const {
  const uint64_t frames = (pendingSize_ + static_cast<uint64_t>(size)) / inFrameBytes_;
  if (!resampler_) return static_cast<size_t>(frames * outFrameBytes_);
  const uint64_t total = resampler_->OutputLimit(resampler_->input_frames() + frames);
  return static_cast<size_t>((total - resampler_->output_frames()) * outFrameBytes_);
}

size_t Converter::Convert(const void* data, size_t size) {
  out_.clear();
  if (!data || size == 0) return 0;
  auto src = static_cast<const uint8_t*>(data);
  if (pendingSize_ > 0) {
    const size_t take = std::min(size, inFrameBytes_ - pendingSize_);
    std::memcpy(pending_ + pendingSize_, src, take);
    pendingSize_ += take;
    src += take;
    size -= take;
    if (pendingSize_ < inFrameBytes_) return 0;
    ConvertFrames(pending_, 1);
    pendingSize_ = 0;
  }
  const size_t frames = size / inFrameBytes_;
  ConvertFrames(src, frames);
  pendingSize_ = size - frames * inFrameBytes_;
  if (pendingSize_ > 0) std::memcpy(pending_, src + frames * inFrameBytes_, pendingSize_);
  return out_.size();
}

size_t Converter::Flush() {
  out_.clear();
  pendingSize_ = 0;
  if (resampler_) {
    resampled_.clear();
    resampler_->Flush(&resampled_);
    Emit(resampled_.data(), resampled_.size() / static_cast<size_t>(resampler_->channels()));
  }
  if (dither_) dither_->Reset();
  return out_.size();
}

void Converter::ConvertFrames(const uint8_t* src, size_t frames) {
  const auto inChannels = static_cast<size_t>(from_.channels);
  const auto midChannels = static_cast<size_t>(std::min(from_.channels, to_.channels));
  while (frames > 0) {
    const size_t n = std::min(frames, kBatch);
    decoded_.resize(n * inChannels);
    DecodeSamples(from_.bitsPerSample, src, n * inChannels, decoded_.data());
    const double* cur = decoded_.data();
    if (mixFirst_) {
      mixed_.resize(n * midChannels);
      mix_.Apply(cur, n, mixed_.data());
      cur = mixed_.data();
    }
    if (resampler_) {
      resampled_.clear();
      resampler_->Process(cur, n, &resampled_);
      Emit(resampled_.data(), resampled_.size() / midChannels);
    } else {
      Emit(cur, n);
    }
    src += n * inFrameBytes_;
    frames -= n;
  }
}

// Takes frames at the resampler's channel count to the output bytes.
void Converter::Emit(const double* frames, size_t count) {
  if (count == 0) return;
  if (!mixFirst_ && !mix_.identity()) {
    mixed_.resize(count * static_cast<size_t>(to_.channels));
    mix_.Apply(frames, count, mixed_.data());
    frames = mixed_.data();
  }
  const size_t old = out_.size();
  out_.resize(old + count * outFrameBytes_);
  EncodeSamples(to_.bitsPerSample, frames, count * static_cast<size_t>(to_.channels),
                out_.data() + old, dither_.get());
}

}  // namespace tb::pcm
