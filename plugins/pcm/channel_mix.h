// Changing the channel count of interleaved frames.
#ifndef TB_PLUGINS_PCM_CHANNEL_MIX_H
#define TB_PLUGINS_PCM_CHANNEL_MIX_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tb::pcm {

/// A fixed matrix from `in` channels to `out` channels. The counts carry no speaker
/// layout, so the rule assumes the usual WAVE order for each count (1 mono; 2 L R;
/// 3 L R C; 4 L R BL BR; 5 L R C BL BR; 6 L R C LFE BL BR; 7 L R C LFE BC SL SR;
/// 8 L R C LFE BL BR SL SR):
///  - equal counts: copied unchanged;
///  - one channel to several: the mono signal goes to channels 0 and 1 (the front pair;
///    for one output, to that one), the others stay silent;
///  - several to one: the average of all channels but the LFE;
///  - 3 to 8 channels to two: left takes the left-side channels, right the right-side
///    ones, a centre channel (C or BC) goes to both at -3 dB, the LFE is dropped; each
///    side is then divided by the sum of its weights;
///  - to more channels otherwise: channel i is copied to channel i, the extra outputs are
///    silent (no surround is invented);
///  - to fewer channels otherwise: channel i goes to output i mod out, each output being
///    the average of the channels it receives.
/// Every output is a weighted average, so a down-mix never clips where its inputs don't,
/// and a signal present in all inputs keeps its level.
class ChannelMix {
 public:
  ChannelMix(int32_t in, int32_t out);

  int32_t in() const { return in_; }
  int32_t out() const { return out_; }
  bool identity() const { return identity_; }
  /// Weight of input channel i in output channel j.
  double weight(int32_t j, int32_t i) const { return weights_[static_cast<size_t>(j) * in_ + i]; }

  /// Mixes `frames` interleaved frames from `src` (in() channels) into `dst` (out()).
  void Apply(const double* src, size_t frames, double* dst) const;

 private:
  int32_t in_;
  int32_t out_;
  bool identity_;
  std::vector<double> weights_;  // out_ rows of in_ weights
};

}  // namespace tb::pcm

#endif  // TB_PLUGINS_PCM_CHANNEL_MIX_H
