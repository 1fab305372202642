// The MIDI file reader and the render plan over arbitrary bytes. The first
// four bytes choose the block size, sample rate and tail; the rest is the
// file. Whatever parses holds only channel messages with 7-bit data in time
// order, and the plan hands each of them to the host exactly once, in order,
// at most 64 a block, within its own block count. Called by libFuzzer on the
// main thread.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/host_options.h"
#include "tools/midi_file.h"
#include "tools/render_plan.h"

namespace {

using corvel::MidiSong;
using corvel::RenderPlan;
using corvel::ShmMidiEvent;

// Past this many blocks the harness stops walking the plan block by block and
// drains the rest from its last block: a day of audio at the highest rate
// and the smallest block is far too many calls for one input.
constexpr uint64_t kWalkedBlocks = 1 << 16;

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

bool sameRecord(const ShmMidiEvent& a, const ShmMidiEvent& b) {
  return a.type == b.type && a.channel == b.channel && a.data1 == b.data1 && a.data2 == b.data2 &&
         a.value == b.value && a.valueHigh == b.valueHigh;
}

// Takes one batch and matches it against the song's next messages; returns
// how many it held.
size_t takeAndMatch(RenderPlan& plan, uint64_t index, const MidiSong& song, size_t& matched) {
  const std::vector<ShmMidiEvent> batch = plan.takeBatch(index);
  if (batch.size() > corvel::kMidiCapacity) __builtin_trap();
  for (const ShmMidiEvent& record : batch) {
    if (matched >= song.events.size() || !sameRecord(record, corvel::toShmEvent(song.events[matched]))) __builtin_trap();
    ++matched;
  }
  return batch.size();
}

void checkPlan(const MidiSong& song, const Format& format) {
  RenderPlan plan(song, format.sampleRate, format.blockFrames, format.tailSeconds);
  if (plan.status() != corvel::PlanStatus::kReady) {
    if (plan.blockCount() != 0 || !plan.takeBatch(0).empty()) __builtin_trap();
    return;
  }
  size_t matched = 0;
  const uint64_t blocks = plan.blockCount();
  uint64_t index = 0;
  for (; index < blocks && index < kWalkedBlocks; ++index) takeAndMatch(plan, index, song, matched);
  // Each remaining block may carry one batch: draining from the last block
  // must take no more calls than there are blocks left.
  const uint64_t blocksLeft = blocks - index;
  uint64_t drains = 0;
  while (blocks > 0 && takeAndMatch(plan, blocks - 1, song, matched) > 0)
    if (++drains > blocksLeft) __builtin_trap();
  if (matched != song.events.size()) __builtin_trap();
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
