#include "tools/render_plan.h"

#include <algorithm>
#include <cmath>

#include "host/host_options.h"

namespace corvel {
namespace {

PlanStatus checkFormat(double sampleRate, uint32_t blockFrames, double seconds) {
  if (!(sampleRate >= kMinSampleRate && sampleRate <= kMaxSampleRate) || blockFrames < 1 || blockFrames > kMaxBlockFrames)
    return PlanStatus::kBadFormat;
  return seconds >= 0 && seconds <= kMaxRenderSeconds ? PlanStatus::kReady : PlanStatus::kTooLong;
}

}  // namespace

// Every kept time is below the checked length, so the frame numbers stay far
// below 2^63.
RenderPlan::RenderPlan(const MidiSong& song, double sampleRate, uint32_t blockFrames, double seconds)
    : planStatus(checkFormat(sampleRate, blockFrames, seconds)) {
  if (planStatus != PlanStatus::kReady) return;
  const auto blocks = static_cast<uint64_t>(std::ceil(std::ceil(seconds * sampleRate) / blockFrames));
  frames = blocks * blockFrames;
  for (const TimedMidi& message : song.events) {
    const double at = message.seconds > 0 ? std::min(message.seconds, kMaxRenderSeconds) : 0.0;
    const auto frame = static_cast<uint64_t>(std::llround(at * sampleRate));
    if (frame >= frames) break;
    due.push_back({frame, {0, message.status, message.data1, message.data2}});
  }
}

std::vector<MidiEvent> RenderPlan::takeEvents(uint32_t count) {
  std::vector<MidiEvent> events;
  const uint64_t end = taken + count;
  for (; next < due.size() && due[next].frame < end; ++next) {
    MidiEvent event = due[next].event;
    event.frame = static_cast<uint32_t>(due[next].frame - taken);
    events.push_back(event);
  }
  taken = end;
  return events;
}

}  // namespace corvel
