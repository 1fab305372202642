// The MIDI messages that arrive between two blocks, kept in arrival order
// and handed to the plug-in as one batch: many plug-ins keep only the last
// batch before processReplacing. Fixed room, set aside once with the object.
// Main thread.
#pragma once

#include <array>
#include <cstddef>

#include "vst2/vst2_records.h"

namespace corvel {

class Vst2EventBatch {
 public:
  // What can arrive between two blocks: a full MIDI batch (64), the panics
  // of a full command batch and of a preset (9 x 130 messages), and the
  // start-up panic before the first block. More is sent early, never dropped.
  static constexpr size_t kCapacity = 64 + 9 * 130 + 130;

  Vst2EventBatch() = default;
  // The batch points into itself.
  Vst2EventBatch(const Vst2EventBatch&) = delete;
  Vst2EventBatch& operator=(const Vst2EventBatch&) = delete;

  // [audio] no allocation, no lock
  bool full() const { return count == kCapacity; }
  // [audio] no allocation, no lock
  bool empty() const { return count == 0; }
  // Appends one message; the batch must not be full. [audio] no allocation, no lock
  void add(const vst2::VstMidiEvent& event);
  // The messages so far, in the layout plug-ins read. [audio] no allocation, no lock
  vst2::VstEvents* events();
  // [audio] no allocation, no lock
  void clear() { count = 0; }

 private:
  std::array<vst2::VstMidiEvent, kCapacity> messages{};
  vst2::VstEventsOf<kCapacity> batch{};
  size_t count = 0;
};

}  // namespace corvel
