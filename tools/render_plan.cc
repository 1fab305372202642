#include "tools/render_plan.h"

#include <algorithm>
#include <cmath>

#include "host/host_options.h"

namespace corvel {
ShmMidiEvent toShmEvent(const TimedMidi& message) {
  ShmMidiEvent event{};
  event.type = static_cast<uint8_t>(message.status >> 4);
  event.channel = message.status & 0x0F;
  event.data1 = message.data1;
  event.data2 = message.data2;
  // Program and pitch-bend bits travel in `value` (and `valueHigh`).
  switch (event.type) {
    case kMidiProgramChange:
      event.value = message.data1;
      break;
    case kMidiPitchBend:
      event.value = message.data1;
      event.valueHigh = message.data2;
      break;
    default:
      event.value = message.data2;
  }
  return event;
}

namespace {

PlanStatus checkFormat(const MidiSong& song, double sampleRate, uint32_t blockFrames, double tailSeconds) {
  if (!(sampleRate >= kMinSampleRate && sampleRate <= kMaxSampleRate) || blockFrames < 1 || blockFrames > kMaxBlockFrames)
    return PlanStatus::kBadFormat;
  const double seconds = song.lengthSeconds + tailSeconds;
  return seconds >= 0 && seconds <= kMaxRenderSeconds ? PlanStatus::kReady : PlanStatus::kTooLong;
}

}  // namespace

RenderPlan::RenderPlan(const MidiSong& song, double sampleRate, uint32_t blockFrames, double tailSeconds)
    : frames(blockFrames), planStatus(checkFormat(song, sampleRate, blockFrames, tailSeconds)) {
  if (planStatus != PlanStatus::kReady) return;
  pending = song.events;
  const double totalFrames = std::ceil((song.lengthSeconds + tailSeconds) * sampleRate);
  blocks = static_cast<uint64_t>(std::ceil(totalFrames / frames));
  assignBlocks(sampleRate);
}

// Each message goes out with the block holding its nearest frame, or later
// when earlier ones filled that block's batch. Every time is within the
// song's checked length, so the frame numbers stay far below 2^63.
void RenderPlan::assignBlocks(double sampleRate) {
  blockOf.reserve(pending.size());
  uint64_t block = 0;
  size_t inBlock = 0;
  for (const TimedMidi& message : pending) {
    const double seconds = message.seconds > 0 ? std::min(message.seconds, kMaxRenderSeconds) : 0.0;
    const uint64_t due = static_cast<uint64_t>(std::llround(seconds * sampleRate)) / frames;
    if (due > block) block = due, inBlock = 0;
    if (inBlock == kMidiCapacity) ++block, inBlock = 0;
    blockOf.push_back(block);
    ++inBlock;
  }
  if (!blockOf.empty()) blocks = std::max(blocks, blockOf.back() + 1);
}

std::vector<ShmMidiEvent> RenderPlan::takeBatch(uint64_t index) {
  std::vector<ShmMidiEvent> batch;
  while (next < pending.size() && blockOf[next] <= index && batch.size() < kMidiCapacity)
    batch.push_back(toShmEvent(pending[next++]));
  return batch;
}

void RenderPlan::noteSent(const std::vector<ShmMidiEvent>& batch) {
  for (const ShmMidiEvent& event : batch) {
    if (event.type == kMidiNoteOn && event.data2 > 0)
      ++notesHeld;
    else if ((event.type == kMidiNoteOff || event.type == kMidiNoteOn) && notesHeld > 0)
      --notesHeld;
  }
  if (!batch.empty()) idle = false;
}

void RenderPlan::blockRendered(float peak) {
  if (notesHeld == 0 && peak < kSilenceThreshold) idle = true;
}

}  // namespace corvel
