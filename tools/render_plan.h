// Turns a song into per-block MIDI batches and follows the host's idle rule,
// so a parent rendering offline knows when the host will not render a block.
// One thread.
#pragma once

#include <cstdint>
#include <vector>

#include "host/shm_block.h"
#include "tools/midi_file.h"

namespace corvel {

class RenderPlan {
 public:
  RenderPlan(const MidiSong& song, double sampleRate, uint32_t blockFrames, double tailSeconds);

  uint64_t blockCount() const { return blocks; }
  uint64_t frameCount() const { return blocks * frames; }
  // The records for block `index`, at most kMidiCapacity; surplus moves on to
  // the following block (the host takes one batch per block).
  std::vector<ShmMidiEvent> takeBatch(uint64_t index);

  // Mirrors the host: a batch wakes it; a block rendered with no held notes
  // whose peak is below the silence threshold puts it to sleep.
  void noteSent(const std::vector<ShmMidiEvent>& batch);
  void blockRendered(float peak);
  bool hostIdle() const { return idle; }

 private:
  std::vector<TimedMidi> pending;  // in time order
  size_t next = 0;
  double sampleRate;
  uint32_t frames;
  uint64_t blocks;
  int32_t notesHeld = 0;
  bool idle = false;
};

ShmMidiEvent toShmEvent(const TimedMidi& message);

}  // namespace corvel
