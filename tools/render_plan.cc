#include "tools/render_plan.h"

#include <cmath>

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

RenderPlan::RenderPlan(const MidiSong& song, double sampleRate, uint32_t blockFrames, double tailSeconds)
    : pending(song.events), sampleRate(sampleRate), frames(blockFrames) {
  const double totalFrames = std::ceil((song.lengthSeconds + tailSeconds) * sampleRate);
  blocks = frames ? static_cast<uint64_t>(std::ceil(totalFrames / frames)) : 0;
}

std::vector<ShmMidiEvent> RenderPlan::takeBatch(uint64_t index) {
  std::vector<ShmMidiEvent> batch;
  const double blockEnd = static_cast<double>((index + 1) * frames) / sampleRate;
  while (next < pending.size() && pending[next].seconds < blockEnd && batch.size() < kMidiCapacity)
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
