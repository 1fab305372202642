// A scripted instrument for tests: records every call as a short text line,
// renders a constant level that tests set, and holds a settable state text.
// Main thread only.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "instrument/native_instrument.h"

namespace corvel {

class RecordingInstrument : public INativeInstrument {
 public:
  std::vector<std::string> calls;
  float level = 0.0f;          // every rendered sample
  std::string state;           // what captureState takes as the plug-in's state
  bool editorOpen = false;     // what isGUIOpen answers; openGUI with a window sets it, closeGUI clears it
  bool recordRenders = true;   // off for loops that render thousands of blocks
  std::ostream* echo = nullptr; // when set, every call is also written there as a "[fake] " line

  bool prepare(double sampleRate, int32_t maxBlockSize) override;
  void selectProgram(uint32_t channel, uint32_t extra, uint32_t program) override;
  void noteOn(uint32_t channel, uint32_t note, float velocity, int32_t sampleOffset) override;
  void noteOff(uint32_t channel, uint32_t note, int32_t sampleOffset) override;
  void controlChange(uint32_t channel, uint32_t controller, uint32_t value) override;
  void programChange(uint32_t channel, uint32_t program) override;
  void pitchBend(uint32_t channel, int32_t value) override;
  bool openGUI(WindowHandle parent) override;
  bool hasEditor() override { return true; }
  void closeGUI() override;
  bool needsFreshInstance() override { return false; }
  void setSuspended(bool) override {}
  bool reloadPlugin() override { return true; }
  void reset() override;
  bool ensureFreshInstance() override { return true; }
  bool attachView(WindowHandle parent) override { return openGUI(parent); }
  void resizeGUI(int32_t, int32_t) override {}
  void guiIdle() override {}
  bool isGUIOpen() override { return editorOpen; }
  void captureState() override;
  void restoreState() override {}
  std::string getSerializedState() override { return captured; }
  void loadSerializedState(const std::string& text) override;
  // Allocates while `recordRenders` is set.
  void process(float* outLeft, float* outRight, int32_t frames) override;

 private:
  void record(std::string call);
  std::string captured;
};

}  // namespace corvel
