// The MIDI file reader and the render plan over arbitrary bytes. The first
// four bytes choose the block size, sample rate and tail; the rest is the
// file. Whatever parses holds only channel messages with 7-bit data in time
// order, and the plan hands out each message that falls inside its whole
// blocks exactly once, in order, inside the stretch of frames it was taken
// with. Called by libFuzzer on the main thread.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "host/host_options.h"
#include "tools/midi_file.h"
#include "tools/render_plan.h"

namespace {

using corvel::MidiEvent;
using corvel::MidiSong;
using corvel::RenderPlan;

// Past this many stretches the harness takes the rest in the largest ones a
// call allows: a day of audio at the highest rate is far too many calls of
// 16 blocks for one input.
constexpr uint64_t kWalkedStretches = 1 << 12;

struct Format {
  uint32_t blockFrames;
  double sampleRate;
  double tailSeconds;
};

Format formatFrom(const uint8_t* data) {
  const double rateStep = (corvel::kMaxSampleRate - corvel::kMinSampleRate) / 65535;
  return {1u + data[0] % corvel::kMaxBlockFrames, corvel::kMinSampleRate + ((data[1] << 8) | data[2]) * rateStep,
          data[3] / 16.0};
}

void checkSong(const MidiSong& song) {
  double previous = 0;
  for (const corvel::TimedMidi& message : song.events) {
    if (message.status < 0x80 || message.status > 0xEF) __builtin_trap();
    if (message.data1 >= 0x80 || message.data2 >= 0x80) __builtin_trap();
    if (!std::isfinite(message.seconds) || message.seconds < previous) __builtin_trap();
    previous = message.seconds;
  }
}

// Takes the next `count` frames' messages and matches them against the
// song's next ones.
void takeAndMatch(RenderPlan& plan, uint32_t count, const MidiSong& song, size_t& matched) {
  uint32_t previous = 0;
  for (const MidiEvent& event : plan.takeEvents(count)) {
    if (event.frame >= count || event.frame < previous) __builtin_trap();
    previous = event.frame;
    if (matched >= song.events.size()) __builtin_trap();
    const corvel::TimedMidi& message = song.events[matched++];
    if (event.status != message.status || event.data1 != message.data1 || event.data2 != message.data2)
      __builtin_trap();
  }
}

void checkPlan(const MidiSong& song, const Format& format) {
  RenderPlan plan(song, format.sampleRate, format.blockFrames, song.lengthSeconds + format.tailSeconds);
  if (plan.status() != corvel::PlanStatus::kReady) {
    if (plan.frameCount() != 0 || !plan.takeEvents(1u << 31).empty()) __builtin_trap();
    return;
  }
  if (plan.frameCount() % format.blockFrames != 0) __builtin_trap();
  size_t matched = 0;
  uint64_t left = plan.frameCount();
  for (uint64_t walked = 0; left > 0; ++walked) {
    const uint64_t most = walked < kWalkedStretches ? 16 * format.blockFrames : std::numeric_limits<uint32_t>::max();
    const auto count = static_cast<uint32_t>(std::min(left, most));
    takeAndMatch(plan, count, song, matched);
    left -= count;
  }
  // Only messages due at or after the last frame may stay behind.
  if (matched < song.events.size() &&
      std::llround(song.events[matched].seconds * format.sampleRate) < static_cast<int64_t>(plan.frameCount()))
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const Format format = formatFrom(data);
  MidiSong song;
  std::string error;
  if (!corvel::parseMidiFile(std::vector<uint8_t>(data + 4, data + size), song, error)) return 0;
  checkSong(song);
  checkPlan(song, format);
  return 0;
}
