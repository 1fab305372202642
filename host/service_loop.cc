#include "host/service_loop.h"

#include <algorithm>

#include "corvel/block_scan.h"
#include "host/editor_window.h"
#include "host/host_log.h"
#include "platform/message_pump.h"
#include "platform/shm_wait.h"
#include "platform/termination.h"

namespace corvel {
ServiceLoop::ServiceLoop(ShmBlock& block, ShmHandle* signals, INativeInstrument& instrument, PresetExchange& presets,
                         const HostOptions& options, const ParentWatch& parent)
    : block(block), signals(signals), instrument(instrument), presets(presets), options(options), parent(parent) {}

LoopEnd ServiceLoop::run() {
  while (runPass()) {
  }
  return ended;
}

bool ServiceLoop::endsWith(LoopEnd reason, const char* line) {
  hostFinalLine("%s", line);
  ended = reason;
  return false;
}

bool ServiceLoop::runPass() {
  pumpMessages();
  if (options.vst2) {
    handleCommands();
    if (ended == LoopEnd::kQuit) return false;
  }
  presets.takeIncoming();
  if (++republishCounter == kRepublishPasses) {
    republishCounter = 0;
    presets.republishIfChanged();
  }
  instrument.guiIdle();
  deliverMidi();
  if (parentGone()) return endsWith(LoopEnd::kParentGone, "[corvel] parent gone - exiting\n");
  if (terminationRequested()) return endsWith(LoopEnd::kTerminationRequested, "[corvel] termination requested - exiting\n");
  if (idling && !instrument.isGUIOpen()) {
    waitWhileIdle();
    return true;
  }
  const uint32_t buffer = render();
  if (outputBroken) recoverInstrument();
  waitForParent(buffer);
  return true;
}

// A parent waiting for a count to return to 0 is woken at once.
// [audio] no allocation, no lock.
void ServiceLoop::clearAndWake(uint32_t& field) { storeAndWake(signals, WakeSide::kParent, field, 0); }

std::chrono::microseconds ServiceLoop::spin() const { return std::chrono::microseconds(options.spinMicroseconds); }

// The count is cleared only after a non-empty batch was taken: clearing a 0
// could wipe a batch the parent announced in between.
void ServiceLoop::handleCommands() {
  const uint32_t count = std::min(loadAcquire(block.commandCount), kCommandCapacity);
  if (count == 0) return;
  for (uint32_t i = 0; i < count; ++i) {
    switch (block.commands[i].code) {
      case kCommandOpenGui:
        openEditorOnCommand(instrument, options.channel);
        break;
      case kCommandCloseGui:
        closeEditorOnCommand(instrument);
        break;
      case kCommandQuit:
        ended = LoopEnd::kQuit;
        break;
      case kCommandAllNotesOff:
        presets.panic();
        hostLine("[corvel] ALL_NOTES_OFF ch=%u\n", options.channel);
        break;
      default:
        break;
    }
  }
  clearAndWake(block.commandCount);
}

void ServiceLoop::deliverMidi() {
  const uint32_t count = std::min(loadAcquire(block.midiCount), kMidiCapacity);
  if (count == 0) return;
  for (uint32_t i = 0; i < count; ++i) deliver(block.midiEvents[i]);
  clearAndWake(block.midiCount);
  idling = false;
}

void ServiceLoop::deliver(const ShmMidiEvent& event) {
  const bool noteOn = event.type == kMidiNoteOn && event.data2 > 0;
  const bool noteOff = event.type == kMidiNoteOff || (event.type == kMidiNoteOn && event.data2 == 0);
  if (noteOn) {
    instrument.noteOn(event.channel, event.data1, static_cast<float>(event.data2) / 127.0f, 0);
    ++notesHeld;
  } else if (noteOff) {
    instrument.noteOff(event.channel, event.data1, 0);
    if (notesHeld > 0) --notesHeld;
  } else if (event.type == kMidiControlChange) {
    instrument.controlChange(event.channel, event.data1, event.value);
  } else if (event.type == kMidiProgramChange) {
    instrument.programChange(event.channel, event.value);
  } else if (event.type == kMidiPitchBend) {
    instrument.pitchBend(event.channel, event.valueHigh * 128 + event.value);
  }
}

bool ServiceLoop::parentGone() const { return parent.watching() && !parent.parentAlive(); }

// A block with a NaN or an infinity in it would poison whatever the parent
// mixes it into: it goes out as silence, which also counts as silence.
uint32_t ServiceLoop::render() {
  const uint32_t buffer = 1 - (loadAcquire(block.frontIndex) & 1);
  float* left = block.outLeft[buffer];
  float* right = block.outRight[buffer];
  instrument.process(left, right, static_cast<int32_t>(options.blockSize));
  const BlockScan scan = scanBlock(left, right, options.blockSize);
  if (!scan.finite) silenceBrokenBlock(left, right);
  outputBroken = !scan.finite;
  const float peak = scan.finite ? scan.peak : 0.0f;
  if (notesHeld == 0 && peak < kSilenceThreshold) idling = true;
  storeRelease(block.frontIndex, buffer);
  ++producedCount[buffer];
  storeAndWake(signals, WakeSide::kParent, block.renderCount, loadAcquire(block.renderCount) + 1);
  return buffer;
}

// Logged once per run of broken blocks, not once per block.
void ServiceLoop::silenceBrokenBlock(float* left, float* right) {
  std::fill_n(left, options.blockSize, 0.0f);
  std::fill_n(right, options.blockSize, 0.0f);
  if (!outputBroken) hostLine("[corvel] non-finite samples silenced ch=%u\n", options.channel);
}

// A plug-in that stays broken is reset at most once a second, so it costs
// no more than silence. The reset forgets every note and the block just
// published was silence: the host idles until the parent plays again.
void ServiceLoop::recoverInstrument() {
  const auto now = std::chrono::steady_clock::now();
  if (lastReset && now - *lastReset < kResetInterval) return;
  lastReset = now;
  instrument.reset();
  notesHeld = 0;
  idling = true;
  hostLine("[corvel] plug-in reset after non-finite output ch=%u\n", options.channel);
}

// The parent is looked at only after a round that did not bring the
// acknowledgement, so a parent that answers at once costs no process check.
void ServiceLoop::waitForParent(uint32_t buffer) const {
  const uint32_t& consumed = block.consumedCount[buffer];
  for (uint32_t seen = loadAcquire(consumed); seen < producedCount[buffer]; seen = loadAcquire(consumed)) {
    awaitChange(signals, WakeSide::kHost, consumed, seen, kAcknowledgementRound, spin());
    if (loadAcquire(consumed) < producedCount[buffer] && (parentGone() || terminationRequested())) return;
  }
}

// Sleeps until a parent that wakes the host announces MIDI (or, through the
// same field, a preset or commands), or for one idle round.
void ServiceLoop::waitWhileIdle() const {
  if (workPending()) return;
  awaitChange(signals, WakeSide::kHost, block.midiCount, 0, kIdleRound, spin());
}

// Work that a wake may have announced before the host went to sleep.
// An oversized preset stays in place untaken, so it is no work.
bool ServiceLoop::workPending() const {
  const uint32_t presetSize = loadAcquire(block.presetInSize);
  return loadAcquire(block.midiCount) != 0 || (presetSize != 0 && presetSize < kPresetCapacity) ||
         (options.vst2 && loadAcquire(block.commandCount) != 0);
}

}  // namespace corvel
