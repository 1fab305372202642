// The host's idle rule, mirrored by a parent that speaks the block directly
// (corvel-soak): a batch wakes the host; a block rendered with no held notes
// whose peak is below the silence threshold puts it to sleep, and then no
// block comes until the next batch. One thread.
#pragma once

#include <cstdint>
#include <vector>

#include "corvel/shm_block.h"

namespace corvel {

class HostIdleMirror {
 public:
  void noteSent(const std::vector<ShmMidiEvent>& batch);
  void blockRendered(float peak);
  bool hostIdle() const { return idle; }

 private:
  int32_t notesHeld = 0;
  bool idle = false;
};

}  // namespace corvel
