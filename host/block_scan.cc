#include "host/block_scan.h"

#include <cmath>

namespace corvel {
namespace {

// A NaN fails every comparison, so it can never raise the peak: the finite
// flag alone catches it.
void scanChannel(const float* samples, uint32_t frames, BlockScan& scan) {
  for (uint32_t i = 0; i < frames; ++i) {
    const float magnitude = std::fabs(samples[i]);
    scan.finite = scan.finite && std::isfinite(magnitude);
    if (magnitude > scan.peak && std::isfinite(magnitude)) scan.peak = magnitude;
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
