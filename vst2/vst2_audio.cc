// MIDI events and block rendering of the VST 2 adapter. Main thread.
#include <algorithm>
#include <cstring>

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
constexpr size_t kAlignmentBytes = 64;
constexpr size_t kAlignmentSlack = kAlignmentBytes / sizeof(float);

uint32_t statusFor(uint32_t kind, uint32_t channel) { return kind | (channel & 0x0F); }

// Grows `scratch` so that `frames` floats fit after aligning its start, and
// returns that start with those floats cleared.
float* silentAligned(std::vector<float>& scratch, int32_t frames) {
  const size_t count = static_cast<size_t>(frames);
  if (scratch.size() < count + kAlignmentSlack) scratch.resize(count + kAlignmentSlack, 0.0f);
  void* start = scratch.data();
  size_t space = scratch.size() * sizeof(float);
  float* aligned = static_cast<float*>(std::align(kAlignmentBytes, count * sizeof(float), start, space));
  std::fill_n(aligned, count, 0.0f);
  return aligned;
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
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  dispatch(effProcessEvents, 0, 0, &events);
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

void Vst2Instrument::wireInputs(std::vector<float*>& inputs, int32_t count, int32_t frames) {
  if (count >= 1) inputs[0] = silentAligned(inputScratch0, frames);
  if (count >= 2) inputs[1] = silentAligned(inputScratch1, frames);
  if (count <= 2) return;
  // Every declared input must be readable, not just the first two.
  const size_t length = static_cast<size_t>(frames);
  extraInputs.assign(static_cast<size_t>(count - 2) * length, 0.0f);
  for (int32_t i = 2; i < count; ++i) inputs[i] = extraInputs.data() + (i - 2) * length;
}

void Vst2Instrument::wireOutputs(std::vector<float*>& outputs, int32_t count, float* outLeft,
                                 float* outRight, int32_t frames) {
  if (count >= 1) outputs[0] = outLeft;
  if (count >= 2) outputs[1] = outRight;
  if (count <= 2) return;
  const size_t length = static_cast<size_t>(frames);
  extraOutputs.resize(static_cast<size_t>(count) * length, 0.0f);
  for (int32_t i = 2; i < count; ++i) outputs[i] = extraOutputs.data() + i * length;
}

void Vst2Instrument::process(float* outLeft, float* outRight, int32_t frames) {
  if (frames < 0) return;
  AEffect* target = effect();
  const size_t length = static_cast<size_t>(frames);
  if (!target) {
    std::fill_n(outLeft, length, 0.0f);
    std::fill_n(outRight, length, 0.0f);
    return;
  }
  silentAligned(inputScratch0, frames);
  silentAligned(inputScratch1, frames);
  const int32_t inputCount = std::max(target->numInputs, 0);
  const int32_t outputCount = std::max(target->numOutputs, 0);
  std::vector<float*> inputs(static_cast<size_t>(std::max(inputCount, 1)), nullptr);
  std::vector<float*> outputs(static_cast<size_t>(std::max(outputCount, 1)), nullptr);
  wireInputs(inputs, inputCount, frames);
  wireOutputs(outputs, outputCount, outLeft, outRight, frames);
  target->processReplacing(target, inputs.data(), outputs.data(), frames);
  // Host buffers no output was wired to would keep the previous block.
  if (outputCount == 1) std::copy_n(outLeft, length, outRight);
  if (outputCount == 0) {
    std::fill_n(outLeft, length, 0.0f);
    std::fill_n(outRight, length, 0.0f);
  }
}

}  // namespace corvel
