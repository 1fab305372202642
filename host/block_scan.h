// What the host needs to know of a block the plug-in has just rendered:
// how loud it is, and whether it is fit to hand to a parent at all. Main
// thread.
#pragma once

#include <cstdint>

namespace corvel {

struct BlockScan {
  float peak = 0.0f;    // largest magnitude among the finite samples
  bool finite = true;   // no NaN and no infinity anywhere
};

// One pass over both channels. [audio] no allocation, no lock.
BlockScan scanBlock(const float* left, const float* right, uint32_t frames);

}  // namespace corvel
