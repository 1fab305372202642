#include "host/service_loop.h"

#include <algorithm>
#include <cmath>

#include "host/editor_window.h"
#include "host/host_log.h"
#include "platform/message_pump.h"
#include "platform/system.h"
#include "platform/termination.h"

namespace corvel {
ServiceLoop::ServiceLoop(ShmBlock& block, INativeInstrument& instrument, PresetExchange& presets,
                         const HostOptions& options, const ParentWatch& parent)
    : block(block), instrument(instrument), presets(presets), options(options), parent(parent) {}

void ServiceLoop::run() {
  while (runPass()) {
  }
}

bool ServiceLoop::runPass() {
  pumpMessages();
  if (options.vst2) {
    handleCommands();
    if (quit) return false;
  }
  presets.takeIncoming();
  if (++republishCounter == kRepublishPasses) {
    republishCounter = 0;
    presets.republishIfChanged();
  }
  instrument.guiIdle();
  deliverMidi();
  if (parentGone()) {
    hostFinalLine("[corvel] parent gone - exiting\n");
    return false;
  }
  if (terminationRequested()) {
    hostFinalLine("[corvel] termination requested - exiting\n");
    return false;
  }
  if (idling && !instrument.isGUIOpen()) {
    sleepMilliseconds(15);
    return true;
  }
  const uint32_t buffer = render();
  if (notesHeld == 0) detectSilence(buffer);
  waitForParent(buffer);
  sleepMilliseconds(0);
  return true;
}

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
        quit = true;
        break;
      case kCommandAllNotesOff:
        presets.panic();
        hostLine("[corvel] ALL_NOTES_OFF ch=%u\n", options.channel);
        break;
      default:
        break;
    }
  }
  storeRelease(block.commandCount, 0);
}

void ServiceLoop::deliverMidi() {
  const uint32_t count = std::min(loadAcquire(block.midiCount), kMidiCapacity);
  if (count == 0) return;
  for (uint32_t i = 0; i < count; ++i) deliver(block.midiEvents[i]);
  storeRelease(block.midiCount, 0);
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

uint32_t ServiceLoop::render() {
  const uint32_t buffer = 1 - (loadAcquire(block.frontIndex) & 1);
  instrument.process(block.outLeft[buffer], block.outRight[buffer], static_cast<int32_t>(options.blockSize));
  storeRelease(block.frontIndex, buffer);
  ++producedCount[buffer];
  storeRelease(block.renderCount, loadAcquire(block.renderCount) + 1);
  return buffer;
}

void ServiceLoop::detectSilence(uint32_t buffer) {
  float peak = 0.0f;
  for (uint32_t i = 0; i < options.blockSize; ++i)
    peak = std::max({peak, std::fabs(block.outLeft[buffer][i]), std::fabs(block.outRight[buffer][i])});
  if (peak < kSilenceThreshold) idling = true;
}

void ServiceLoop::waitForParent(uint32_t buffer) const {
  while (loadAcquire(block.consumedCount[buffer]) < producedCount[buffer]) {
    if (parentGone() || terminationRequested()) return;
    sleepMilliseconds(1);
  }
}

}  // namespace corvel
