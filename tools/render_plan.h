// A song laid out for one render: its messages as MidiEvents at frame times,
// and how many frames the render lasts. Batching, the host's idle rule and
// its first block are the session's business, not the plan's. One thread.
#pragma once

#include <cstdint>
#include <vector>

#include "corvel/session.h"
#include "tools/midi_file.h"

namespace corvel {

// Longer renders are refused: a day of audio is past any song, and the bound
// keeps every frame count far inside 64 bits.
inline constexpr double kMaxRenderSeconds = 24 * 3600;

enum class PlanStatus {
  kReady,
  kTooLong,       // the render would exceed kMaxRenderSeconds (or its length is not finite)
  kBadFormat,     // sample rate outside the host's range, or block size outside 1-kMaxBlockFrames
};

class RenderPlan {
 public:
  // `seconds` of render in whole blocks of `blockFrames`. Messages due at or
  // after the last frame are left out: nothing they do could sound in it.
  // A message that the 64-a-block limit pushes past the end is likewise
  // never heard, so the render is not lengthened for it.
  RenderPlan(const MidiSong& song, double sampleRate, uint32_t blockFrames, double seconds);

  // Anything but kReady leaves a plan of no frames.
  PlanStatus status() const { return planStatus; }
  uint64_t frameCount() const { return frames; }
  // The messages due in the next `count` frames (from where the last call
  // ended), their frames counted from there.
  std::vector<MidiEvent> takeEvents(uint32_t count);

 private:
  struct Due {
    uint64_t frame;
    MidiEvent event;
  };
  std::vector<Due> due;  // in time order
  size_t next = 0;
  uint64_t taken = 0;  // frames handed out so far
  uint64_t frames = 0;
  PlanStatus planStatus = PlanStatus::kReady;
};

}  // namespace corvel
