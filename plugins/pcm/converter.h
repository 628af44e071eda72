// Conversion of an interleaved PCM byte stream from one Format to another.
#ifndef TB_PLUGINS_PCM_CONVERTER_H
#define TB_PLUGINS_PCM_CONVERTER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugins/pcm/channel_mix.h"
#include "plugins/pcm/format.h"
#include "plugins/pcm/resampler.h"

namespace tb::pcm {

/// How a Converter treats the samples beyond the formats.
struct ConvertOptions {
  /// Dither (Dither's TPDF noise) when the target has fewer bits per sample than the
  /// source; otherwise the samples are only rounded.
  bool dither = true;
};

/// Converts a stream fed in blocks of any size: sample width (8, 16, 24, 32 bits), channel
/// count (ChannelMix's rule) and sample rate (Resampler). Samples pass through doubles;
/// the channels are mixed on whichever side of the resampler has fewer of them.
///
/// A block need not end on a frame: the bytes of a partial frame wait for the next block.
/// The resampler keeps its state between blocks, so the output does not depend on how
/// the stream was split, to the bit. At the end of the stream Flush gives the filter's
/// tail.
class Converter {
 public:
  /// A converter between two supported formats (they may be equal); null with `*error`
  /// set otherwise.
  static std::unique_ptr<Converter> Create(const Format& from, const Format& to, std::string* error,
                                           const ConvertOptions& options = ConvertOptions());

  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  /// Converts `size` bytes at `data` (null only with size 0). The result is the number
  /// of output bytes, always whole frames, at data(); they are owned by the converter and
  /// valid until its next Convert, Flush or Reset. May throw std::bad_alloc.
  size_t Convert(const void* data, size_t size);

  /// Ends the stream: converts what the resampler still holds (a partial input frame
  /// is dropped) and starts a new stream. The result is as for Convert.
  size_t Flush();

  /// Forgets the stream without giving its tail.
  void Reset();

  const uint8_t* data() const { return out_.data(); }
  size_t size() const { return out_.size(); }

  /// The most bytes a Convert of `size` bytes can give next, given what was fed so far.
  size_t MaxOutputSize(size_t size) const;

  const Format& from() const { return from_; }
  const Format& to() const { return to_; }
  /// The resampler in use, or null when the rates are equal.
  const Resampler* resampler() const { return resampler_.get(); }
  bool dithers() const { return dither_ != nullptr; }

 private:
  Converter(const Format& from, const Format& to);
  void ConvertFrames(const uint8_t* src, size_t frames);
  void Emit(const double* frames, size_t count);

  Format from_;
  Format to_;
  size_t inFrameBytes_;
  size_t outFrameBytes_;
  ChannelMix mix_;
  bool mixFirst_;  // mix before resampling (down-mix) or after (up-mix)
  std::unique_ptr<Resampler> resampler_;
  uint8_t pending_[kMaxChannels * 4];  // a partial input frame
  size_t pendingSize_ = 0;
  std::unique_ptr<Dither> dither_;
  std::vector<double> decoded_;
  std::vector<double> mixed_;
  std::vector<double> resampled_;
  std::vector<uint8_t> out_;
};

}  // namespace tb::pcm

#endif  // TB_PLUGINS_PCM_CONVERTER_H
