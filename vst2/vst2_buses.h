// The buffers processReplacing is given besides the host's two: silent
// inputs, outputs beyond the second, and two scratch outputs for a block
// nobody hears. Sized once by `size`; a block must fit what was sized.
// Main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvel {

class Vst2Buses {
 public:
  // Sets aside room for `inputs` and `outputs` buses of up to `frames` each.
  void size(int32_t inputs, int32_t outputs, int32_t frames);
  // [audio] no allocation, no lock
  bool fits(int32_t inputs, int32_t outputs, int32_t frames) const;
  int32_t frames() const { return maxFrames; }
  // The input array; every entry is silence, 64-byte aligned, for `frames`.
  // [audio] no allocation, no lock
  float** silentInputs(int32_t frames);
  // The output array: `left` and `right` in front, spare buffers behind.
  // [audio] no allocation, no lock
  float** outputs(float* left, float* right);
  // The output array with the scratch buffers in front. [audio] no allocation, no lock
  float** scratchOutputs();

 private:
  float* stripe(int32_t index);

  int32_t inputCount = 0;
  int32_t outputCount = 0;
  int32_t maxFrames = 0;
  size_t stride = 0;  // floats per buffer, a whole number of alignment units
  std::vector<float> storage;
  float* aligned = nullptr;
  std::vector<float*> inputPointers;
  std::vector<float*> outputPointers;
};

}  // namespace corvel
