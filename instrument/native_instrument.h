// The one abstraction through which the host drives a plug-in instrument,
// whatever its standard. Every operation is called on the host's main thread.
#pragma once

#include <cstdint>
#include <string>

namespace corvel {

// A native window: an X11 window id on Linux, an HWND on Windows. The host
// only passes it through; the adapters hand it to the plug-in's editor.
using WindowHandle = void*;

class INativeInstrument {
 public:
  // Releases the plug-in, if one is loaded. Safe on an object that never
  // loaded one.
  virtual ~INativeInstrument() = default;

  // Records the sample rate and the largest block `process` will be asked for.
  virtual bool prepare(double sampleRate, int32_t maxBlockSize) = 0;
  // Program change with an extra middle argument nobody reads.
  virtual void selectProgram(uint32_t channel, uint32_t extra, uint32_t program) = 0;

  // MIDI in. Channel 0-15, note/controller/value/program 0-127, velocity
  // 0.0-1.0, pitch bend 0-16383 with 8192 as centre; out-of-range values are
  // masked where MIDI bytes are built. They take effect in the next block.
  virtual void noteOn(uint32_t channel, uint32_t note, float velocity, int32_t sampleOffset) = 0;
  virtual void noteOff(uint32_t channel, uint32_t note, int32_t sampleOffset) = 0;
  virtual void controlChange(uint32_t channel, uint32_t controller, uint32_t value) = 0;
  virtual void programChange(uint32_t channel, uint32_t program) = 0;
  virtual void pitchBend(uint32_t channel, int32_t value) = 0;
  // Sends all 128 releases of `channel` through the adapter's own noteOff.
  virtual void allNotesOff(uint32_t channel);

  // Editor. `openGUI` is true when an editor is attached to `parent`.
  virtual bool openGUI(WindowHandle parent) = 0;
  virtual bool hasEditor() = 0;
  // Harmless when no editor is open; may be called twice in a row.
  virtual void closeGUI() = 0;
  virtual bool needsFreshInstance() = 0;
  // While set, `process` leaves the output buffers untouched.
  virtual void setSuspended(bool suspended) = 0;
  // Tears the plug-in down and loads it again from the same path and rate.
  virtual bool reloadPlugin() = 0;
  // Brings the plug-in back after broken output: stops and restarts its
  // processing, then runs a silent block. Held notes are forgotten.
  virtual void reset() = 0;
  virtual bool ensureFreshInstance() = 0;
  // Creates the editor as a child of `parent` and sizes `parent` to it.
  virtual bool attachView(WindowHandle parent) = 0;
  virtual void resizeGUI(int32_t width, int32_t height) = 0;
  // Editor idle time, once per service-loop pass.
  virtual void guiIdle() = 0;
  virtual bool isGUIOpen() = 0;

  // State. `captureState` reads the plug-in into the adapter's buffer;
  // `getSerializedState` encodes that buffer (empty when nothing was
  // captured) and never captures by itself; `loadSerializedState` decodes and
  // restores, logging failures instead of returning them.
  virtual void captureState() = 0;
  virtual void restoreState() = 0;
  virtual std::string getSerializedState() = 0;
  virtual void loadSerializedState(const std::string& text) = 0;

  // Renders `frames` (at most the prepared maximum) into two mono buffers.
  // [audio] no allocation, no lock
  virtual void process(float* outLeft, float* outRight, int32_t frames) = 0;
};

}  // namespace corvel
