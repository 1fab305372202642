#include "tools/idle_mirror.h"

namespace corvel {

void HostIdleMirror::noteSent(const std::vector<ShmMidiEvent>& batch) {
  for (const ShmMidiEvent& event : batch) {
    if (event.type == kMidiNoteOn && event.data2 > 0)
      ++notesHeld;
    else if ((event.type == kMidiNoteOff || event.type == kMidiNoteOn) && notesHeld > 0)
      --notesHeld;
  }
  if (!batch.empty()) idle = false;
}

void HostIdleMirror::blockRendered(float peak) {
  if (notesHeld == 0 && peak < kSilenceThreshold) idle = true;
}

}  // namespace corvel
