#include "instrument/recording_instrument.h"

#include <sstream>

namespace corvel {
namespace {

template <class... Pieces>
std::string join(const Pieces&... pieces) {
  std::ostringstream text;
  const char* separator = "";
  ((text << separator << pieces, separator = " "), ...);
  return text.str();
}

}  // namespace

void RecordingInstrument::record(std::string call) {
  if (echo) *echo << "[fake] " << call << std::endl;
  calls.push_back(std::move(call));
}

bool RecordingInstrument::prepare(double sampleRate, int32_t maxBlockSize) {
  record(join("prepare", sampleRate, maxBlockSize));
  return true;
}

void RecordingInstrument::selectProgram(uint32_t channel, uint32_t extra, uint32_t program) {
  record(join("selectProgram", channel, extra, program));
}

void RecordingInstrument::noteOn(uint32_t channel, uint32_t note, float velocity, int32_t sampleOffset) {
  record(join("noteOn", channel, note, velocity, sampleOffset));
}

void RecordingInstrument::noteOff(uint32_t channel, uint32_t note, int32_t sampleOffset) {
  record(join("noteOff", channel, note, sampleOffset));
}

void RecordingInstrument::controlChange(uint32_t channel, uint32_t controller, uint32_t value) {
  record(join("controlChange", channel, controller, value));
}

void RecordingInstrument::programChange(uint32_t channel, uint32_t program) {
  record(join("programChange", channel, program));
}

void RecordingInstrument::pitchBend(uint32_t channel, int32_t value) { record(join("pitchBend", channel, value)); }

bool RecordingInstrument::openGUI(WindowHandle parent) {
  record(join("openGUI", parent != nullptr));
  editorOpen = parent != nullptr;
  return editorOpen;
}

void RecordingInstrument::closeGUI() {
  record("closeGUI");
  editorOpen = false;
}

void RecordingInstrument::reset() { record("reset"); }

void RecordingInstrument::captureState() {
  record("captureState");
  captured = state;
}

void RecordingInstrument::loadSerializedState(const std::string& text) {
  record(join("loadSerializedState", text.size()));
  state = text;
}

void RecordingInstrument::process(float* outLeft, float* outRight, int32_t frames) {
  if (recordRenders) record(join("process", frames));
  for (int32_t i = 0; i < frames; ++i) outLeft[i] = outRight[i] = level;
}

}  // namespace corvel
