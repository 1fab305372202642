// Turns a song into per-block MIDI batches and follows the host's idle rule,
// so a parent rendering offline knows when the host will not render a block.
// One thread.
#pragma once

#include <cstdint>
#include <vector>

#include "corvel/shm_block.h"
#include "tools/midi_file.h"

namespace corvel {

// Longer renders are refused: a day of audio is past any song, and the bound
// keeps every frame count far inside 64 bits.
inline constexpr double kMaxRenderSeconds = 24 * 3600;

enum class PlanStatus {
  kReady,
  kTooLong,       // song and tail exceed kMaxRenderSeconds (or are not finite)
  kBadFormat,     // sample rate outside the host's range, or block size outside 1-kMaxBlockFrames
};

class RenderPlan {
 public:
  RenderPlan(const MidiSong& song, double sampleRate, uint32_t blockFrames, double tailSeconds);

  // Anything but kReady leaves a plan of no blocks.
  PlanStatus status() const { return planStatus; }
  // The song and its tail in whole blocks, and as many more as it takes to
  // hand over batches that the 64-record limit pushed past the end.
  uint64_t blockCount() const { return blocks; }
  uint64_t frameCount() const { return blocks * frames; }
  // The records due by block `index`, at most kMidiCapacity; surplus moves on
  // to the following block (the host takes one batch per block).
  std::vector<ShmMidiEvent> takeBatch(uint64_t index);

  // Mirrors the host: a batch wakes it; a block rendered with no held notes
  // whose peak is below the silence threshold puts it to sleep.
  void noteSent(const std::vector<ShmMidiEvent>& batch);
  void blockRendered(float peak);
  bool hostIdle() const { return idle; }

 private:
  void assignBlocks(double sampleRate);

  std::vector<TimedMidi> pending;  // in time order
  std::vector<uint64_t> blockOf;   // the block each pending message goes out with
  size_t next = 0;
  uint32_t frames;
  uint64_t blocks = 0;
  PlanStatus planStatus = PlanStatus::kReady;
  int32_t notesHeld = 0;
  bool idle = false;
};

ShmMidiEvent toShmEvent(const TimedMidi& message);

}  // namespace corvel
