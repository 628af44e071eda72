#include "plugins/pcm/channel_mix.h"

#include <cstring>

namespace tb::pcm {

namespace {

enum Side { kLeft, kRight, kCentre, kLfe };

// Sides of the usual WAVE channel order for 3 to 8 channels; row n-3.
const Side kSides[6][8] = {
    {kLeft, kRight, kCentre},
    {kLeft, kRight, kLeft, kRight},
    {kLeft, kRight, kCentre, kLeft, kRight},
    {kLeft, kRight, kCentre, kLfe, kLeft, kRight},
    {kLeft, kRight, kCentre, kLfe, kCentre, kLeft, kRight},
    {kLeft, kRight, kCentre, kLfe, kLeft, kRight, kLeft, kRight},
};

const int32_t kLfeIndex = 3;

}  // namespace

ChannelMix::ChannelMix(int32_t in, int32_t out)
    : in_(in),
      out_(out),
      identity_(in == out),
      weights_(static_cast<size_t>(in) * static_cast<size_t>(out), 0.0f) {
  auto w = [&](int32_t j, int32_t i) -> double& {
    return weights_[static_cast<size_t>(j) * in_ + i];
  };
  if (in == out) {
    for (int32_t i = 0; i < in; ++i) w(i, i) = 1.0f;
  } else if (in == 1) {
    for (int32_t j = 0; j < out && j < 2; ++j) w(j, 0) = 1.0f;
  } else if (out == 1) {
    const bool hasLfe = in >= 6 && in <= 8;
    const int32_t used = hasLfe ? in - 1 : in;
    for (int32_t i = 0; i < in; ++i) {
      if (!(hasLfe && i == kLfeIndex)) w(0, i) = 1.0 / static_cast<double>(used);
    }
  } else if (out == 2 && in <= 8) {
    const double centre = 0.70710678118654752;
    double sum[2] = {0, 0};
    for (int32_t i = 0; i < in; ++i) {
      switch (kSides[in - 3][i]) {
        case kLeft:
          w(0, i) = 1.0f;
          break;
        case kRight:
          w(1, i) = 1.0f;
          break;
        case kCentre:
          w(0, i) = w(1, i) = centre;
          break;
        case kLfe:
          break;
      }
      sum[0] += w(0, i);
      sum[1] += w(1, i);
    }
    for (int32_t i = 0; i < in; ++i) {
      w(0, i) = w(0, i) / sum[0];
      w(1, i) = w(1, i) / sum[1];
    }
  } else if (out > in) {
    for (int32_t i = 0; i < in; ++i) w(i, i) = 1.0f;
  } else {
    for (int32_t j = 0; j < out; ++j) {
      const int32_t feeders = (in - 1 - j) / out + 1;
      for (int32_t i = j; i < in; i += out) w(j, i) = 1.0 / static_cast<double>(feeders);
    }
  }
}

void ChannelMix::Apply(const double* src, size_t frames, double* dst) const {
  if (identity_) {
    std::memmove(dst, src, frames * static_cast<size_t>(in_) * sizeof(double));
    return;
  }
  if (in_ == 1 && out_ == 2) {
    for (size_t f = 0; f < frames; ++f) dst[2 * f] = dst[2 * f + 1] = src[f];
    return;
  }
  if (in_ == 2 && out_ == 1) {
    for (size_t f = 0; f < frames; ++f) dst[f] = (src[2 * f] + src[2 * f + 1]) * 0.5f;
    return;
  }
  for (size_t f = 0; f < frames; ++f, src += in_, dst += out_) {
    const double* row = weights_.data();
    for (int32_t j = 0; j < out_; ++j, row += in_) {
      double acc = 0.0;
      for (int32_t i = 0; i < in_; ++i) acc += row[i] * src[i];
      dst[j] = acc;
    }
  }
}

}  // namespace tb::pcm
