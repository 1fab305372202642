#include "vst2/vst2_buses.h"

#include <algorithm>
#include <memory>

namespace corvel {
namespace {

constexpr size_t kAlignmentBytes = 64;
constexpr size_t kAlignmentFloats = kAlignmentBytes / sizeof(float);
// Two outputs go to the host's buffers; the scratch pair stands in for them.
constexpr int32_t kHostOutputs = 2;

}  // namespace

// Stripes in order: the inputs, the spare outputs, the scratch pair.
void Vst2Buses::size(int32_t inputs, int32_t outputs, int32_t frames) {
  inputCount = std::max(inputs, 0);
  outputCount = std::max(outputs, 0);
  maxFrames = std::max(frames, 0);
  stride = (static_cast<size_t>(maxFrames) + kAlignmentFloats - 1) / kAlignmentFloats * kAlignmentFloats;
  const int32_t spareOutputs = std::max(outputCount - kHostOutputs, 0);
  const size_t stripes = static_cast<size_t>(inputCount + spareOutputs + kHostOutputs);
  storage.assign(stripes * stride + kAlignmentFloats, 0.0f);
  void* start = storage.data();
  size_t space = storage.size() * sizeof(float);
  aligned = static_cast<float*>(std::align(kAlignmentBytes, stripes * stride * sizeof(float), start, space));

  inputPointers.assign(static_cast<size_t>(std::max(inputCount, 1)), nullptr);
  for (int32_t i = 0; i < inputCount; ++i) inputPointers[i] = stripe(i);
  outputPointers.assign(static_cast<size_t>(std::max(outputCount, 1)), nullptr);
  for (int32_t i = kHostOutputs; i < outputCount; ++i) outputPointers[i] = stripe(inputCount + i - kHostOutputs);
}

float* Vst2Buses::stripe(int32_t index) { return aligned + static_cast<size_t>(index) * stride; }

bool Vst2Buses::fits(int32_t inputs, int32_t outputs, int32_t frames) const {
  return inputs == inputCount && outputs == outputCount && frames >= 0 && frames <= maxFrames;
}

float** Vst2Buses::silentInputs(int32_t frames) {
  // Cleared every block: a plug-in may render into its inputs.
  for (int32_t i = 0; i < inputCount; ++i) std::fill_n(inputPointers[i], frames, 0.0f);
  return inputPointers.data();
}

float** Vst2Buses::outputs(float* left, float* right) {
  if (outputCount >= 1) outputPointers[0] = left;
  if (outputCount >= 2) outputPointers[1] = right;
  return outputPointers.data();
}

float** Vst2Buses::scratchOutputs() {
  const int32_t scratch = inputCount + std::max(outputCount - kHostOutputs, 0);
  return outputs(stripe(scratch), stripe(scratch + 1));
}

}  // namespace corvel
