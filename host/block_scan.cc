#include "host/block_scan.h"

#include <cmath>

namespace corvel {
namespace {

// A NaN or an infinity never counts towards the peak: it only clears the
// finite flag.
void scanChannel(const float* samples, uint32_t frames, BlockScan& scan) {
  for (uint32_t i = 0; i < frames; ++i) {
    const float magnitude = std::fabs(samples[i]);
    if (!std::isfinite(magnitude))
      scan.finite = false;
    else if (magnitude > scan.peak)
      scan.peak = magnitude;
  }
}

}  // namespace

BlockScan scanBlock(const float* left, const float* right, uint32_t frames) {
  BlockScan scan;
  scanChannel(left, frames, scan);
  scanChannel(right, frames, scan);
  return scan;
}

}  // namespace corvel
