// How the host judges a block the plug-in has just rendered: how loud it is
// (its peak against kSilenceThreshold decides whether the host idles), and
// whether it is fit to hand to a parent at all. The host and a parent that
// mirrors its idle rule measure with this one function. Any thread.
#pragma once

#include <cmath>
#include <cstdint>

namespace corvel {

struct BlockScan {
  float peak = 0.0f;    // largest magnitude among the finite samples
  bool finite = true;   // no NaN and no infinity anywhere
};

// One pass over both channels; a NaN or an infinity never counts towards the
// peak, it only clears the finite flag. [audio] no allocation, no lock.
inline BlockScan scanBlock(const float* left, const float* right, uint32_t frames) {
  BlockScan scan;
  for (const float* samples : {left, right}) {
    for (uint32_t i = 0; i < frames; ++i) {
      const float magnitude = std::fabs(samples[i]);
      if (!std::isfinite(magnitude))
        scan.finite = false;
      else if (magnitude > scan.peak)
        scan.peak = magnitude;
    }
  }
  return scan;
}

}  // namespace corvel
