// MIDI events and block rendering of the VST 2 adapter. Main thread.
#include <algorithm>

#include "instrument/log.h"
#include "vst2/vst2_loaded_effect.h"

namespace corvel {
namespace {

using namespace vst2;

constexpr uint32_t kStatusNoteOff = 0x80;
constexpr uint32_t kStatusNoteOn = 0x90;
constexpr uint32_t kStatusControlChange = 0xB0;
constexpr uint32_t kStatusProgramChange = 0xC0;
constexpr uint32_t kStatusPitchBend = 0xE0;

uint32_t statusFor(uint32_t kind, uint32_t channel) { return kind | (channel & 0x0F); }

void silence(float* outLeft, float* outRight, int32_t frames) {
  std::fill_n(outLeft, frames, 0.0f);
  std::fill_n(outRight, frames, 0.0f);
}

}  // namespace

void Vst2Instrument::sendMidi(uint32_t status, uint32_t data1, uint32_t data2, int32_t deltaFrames) {
  if (!effect()) return;
  VstMidiEvent event{};
  event.type = kVstMidiType;
  event.byteSize = sizeof(VstMidiEvent);
  event.deltaFrames = deltaFrames;
  event.midiData[0] = static_cast<uint8_t>(status);
  event.midiData[1] = static_cast<uint8_t>(data1 & 0x7F);
  event.midiData[2] = static_cast<uint8_t>(data2 & 0x7F);
  if (plugin->pending.full()) sendPendingEvents();
  plugin->pending.add(event);
}

void Vst2Instrument::sendPendingEvents() {
  if (plugin->pending.empty()) return;
  dispatch(effProcessEvents, 0, 0, plugin->pending.events());
  plugin->pending.clear();
}

void Vst2Instrument::selectProgram(uint32_t midiChannel, uint32_t, uint32_t program) {
  programChange(midiChannel, program);
}

void Vst2Instrument::noteOn(uint32_t midiChannel, uint32_t note, float velocity, int32_t sampleOffset) {
  const int32_t velocityByte = static_cast<int32_t>(velocity * 127.0f) & 0x7F;
  log::err("[Vst2Instrument] noteOn ch=", midiChannel, " p=", note, " v=", velocityByte);
  sendMidi(statusFor(kStatusNoteOn, midiChannel), note, static_cast<uint32_t>(velocityByte),
           sampleOffset);
}

void Vst2Instrument::noteOff(uint32_t midiChannel, uint32_t note, int32_t sampleOffset) {
  sendMidi(statusFor(kStatusNoteOff, midiChannel), note, 0, sampleOffset);
}

void Vst2Instrument::controlChange(uint32_t midiChannel, uint32_t controller, uint32_t value) {
  sendMidi(statusFor(kStatusControlChange, midiChannel), controller, value, 0);
}

void Vst2Instrument::programChange(uint32_t midiChannel, uint32_t program) {
  sendMidi(statusFor(kStatusProgramChange, midiChannel), program, 0, 0);
}

void Vst2Instrument::pitchBend(uint32_t midiChannel, int32_t value) {
  sendMidi(statusFor(kStatusPitchBend, midiChannel), static_cast<uint32_t>(value),
           static_cast<uint32_t>(value >> 7), 0);
}

void Vst2Instrument::process(float* outLeft, float* outRight, int32_t frames) {
  if (frames < 0) return;
  AEffect* target = effect();
  const int32_t inputCount = target ? std::max(target->numInputs, 0) : 0;
  const int32_t outputCount = target ? std::max(target->numOutputs, 0) : 0;
  // Without prepare, or with buses the plug-in changed since, nothing fits.
  if (!target || !buses.fits(inputCount, outputCount, frames)) {
    silence(outLeft, outRight, frames);
    return;
  }
  sendPendingEvents();
  target->processReplacing(target, buses.silentInputs(frames), buses.outputs(outLeft, outRight), frames);
  // Host buffers no output was wired to would keep the previous block.
  if (outputCount == 1) std::copy_n(outLeft, frames, outRight);
  if (outputCount == 0) silence(outLeft, outRight, frames);
}

void Vst2Instrument::warmUp() {
  AEffect* target = effect();
  const int32_t frames = buses.frames();
  if (frames == 0) return;
  warmingUp = true;
  target->processReplacing(target, buses.silentInputs(frames), buses.scratchOutputs(), frames);
  warmingUp = false;
}

}  // namespace corvel
