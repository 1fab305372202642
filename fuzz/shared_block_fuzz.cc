// The host's service loop over a block whose every parent-written field the
// input scribbles on between passes: MIDI records and counts beyond
// capacity, command codes and counts, preset texts of any size, frontIndex
// and consumedCount. After each pass the host must have left the block
// coherent: batches taken, oversized presets left alone, a publication that
// fits, and frontIndex naming a buffer. Called by libFuzzer on the main thread.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/host_fixture.h"

namespace {

using corvel::HostFixture;
using corvel::HostOptions;

// Reads the input front to back; past its end every read gives zeros.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : at(data), end(data + size) {}
  bool empty() const { return at >= end; }
  uint8_t byte() { return empty() ? 0 : *at++; }
  uint32_t word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | byte();
    return value;
  }
  // Copies up to `size` bytes into `target`; returns how many there were.
  size_t copy(void* target, size_t size) {
    const size_t n = std::min(size, static_cast<size_t>(end - at));
    std::memcpy(target, at, n);
    at += n;
    return n;
  }

 private:
  const uint8_t* at;
  const uint8_t* end;
};

enum Op : uint8_t { kMidi, kCommands, kPreset, kFrontIndex, kConsumed, kPass, kOpCount };

void scribble(Op op, Input& in, corvel::ShmBlock& block) {
  switch (op) {
    case kMidi:
      in.copy(block.midiEvents, sizeof block.midiEvents);
      block.midiCount = in.word();
      break;
    case kCommands:
      for (auto& command : block.commands) command.code = in.byte();
      block.commandCount = in.word();
      break;
    case kPreset:
      block.presetInSize = in.word();
      in.copy(block.presetIn, std::min<size_t>(block.presetInSize, sizeof block.presetIn));
      break;
    case kFrontIndex:
      block.frontIndex = in.word();
      break;
    case kConsumed:
      // Always ahead of what the host produced: a count behind it would make
      // the pass wait for a parent that is not there.
      block.consumedCount[in.byte() & 1] = in.word() | 1u << 30;
      break;
    default:
      break;
  }
}

void checkAfterPass(const corvel::ShmBlock& block, bool vst2) {
  if (block.midiCount != 0) __builtin_trap();
  if (vst2 && block.commandCount != 0) __builtin_trap();
  if (block.presetInSize != 0 && block.presetInSize < corvel::kPresetCapacity) __builtin_trap();
  if (block.presetOutSize >= corvel::kPresetCapacity) __builtin_trap();
  if (block.frontIndex > 1) __builtin_trap();
}

HostOptions optionsFor(uint8_t flags) {
  HostOptions options;
  options.vst2 = flags & 1;
  options.blockSize = 1 + flags % corvel::kMaxBlockFrames;
  return options;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // No editor window may open, and the host's log lines go nowhere.
  unsetenv("DISPLAY");
  if (!std::freopen("/dev/null", "w", stdout)) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t flags = in.byte();
  HostFixture host(optionsFor(flags));
  // A loud instrument never lets the loop idle, whose polling sleep would
  // cost 15 ms a pass without a parent to wake it.
  host.instrument.level = 0.5f;
  host.instrument.recordRenders = false;
  while (!in.empty()) {
    const Op op = static_cast<Op>(in.byte() % kOpCount);
    if (op != kPass) {
      scribble(op, in, *host.block);
      continue;
    }
    if (!host.loop.runPass()) break;  // QUIT
    checkAfterPass(*host.block, host.options.vst2);
    host.instrument.calls.clear();
  }
  return 0;
}
