// INativeInstrument for VST 2.x plug-in libraries. The host drives it from
// its main thread; the plug-in may call back from any of its threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "instrument/native_instrument.h"
#include "vst2/vst2_buses.h"
#include "vst2/vst2_records.h"

namespace corvel {

struct ParameterInfo;
struct Vst2PluginInfo;

class Vst2Instrument : public INativeInstrument {
 public:
  Vst2Instrument();
  ~Vst2Instrument() override;
  Vst2Instrument(const Vst2Instrument&) = delete;
  Vst2Instrument& operator=(const Vst2Instrument&) = delete;

  // The host's channel number, printed in log lines. Main, before loadPlugin.
  void setChannel(uint32_t channel);
  // Loads, checks and registers the plug-in. Main, once per object.
  bool loadPlugin(const std::string& path, double sampleRate);
  // Why the last loadPlugin failed, as its error line says it, without the
  // prefix; empty after a success. Main.
  const std::string& loadError() const;
  // The plug-in's identity, can-dos, outputs, parameters and programs.
  // Main, after prepare.
  void describe(Vst2PluginInfo& info);

  bool prepare(double sampleRate, int32_t maxBlockSize) override;
  void selectProgram(uint32_t channel, uint32_t extra, uint32_t program) override;
  void noteOn(uint32_t channel, uint32_t note, float velocity, int32_t sampleOffset) override;
  void noteOff(uint32_t channel, uint32_t note, int32_t sampleOffset) override;
  void controlChange(uint32_t channel, uint32_t controller, uint32_t value) override;
  void programChange(uint32_t channel, uint32_t program) override;
  void pitchBend(uint32_t channel, int32_t value) override;

  bool openGUI(WindowHandle parent) override;
  bool hasEditor() override;
  void closeGUI() override;
  bool needsFreshInstance() override;
  void setSuspended(bool suspended) override;
  bool reloadPlugin() override;
  // Stop, suspend, resume and start, then a warm-up block; a fault is logged.
  void reset() override;
  bool ensureFreshInstance() override;
  bool attachView(WindowHandle parent) override;
  void resizeGUI(int32_t width, int32_t height) override;
  void guiIdle() override;
  bool isGUIOpen() override;

  void captureState() override;
  void restoreState() override;
  std::string getSerializedState() override;
  void loadSerializedState(const std::string& text) override;

  // Sends the MIDI messages since the last block as one batch, then renders.
  // [audio] no allocation, no lock
  void process(float* outLeft, float* outRight, int32_t frames) override;

 private:
  struct LoadedEffect;

  // Plug-in's callback into the host. Any thread.
  static intptr_t hostCallback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                               void* ptr, float opt);
  static Vst2Instrument* findInstance(vst2::AEffect* effect);
  static intptr_t answerHost(Vst2Instrument* instance, int32_t opcode, int32_t index, intptr_t value,
                             void* ptr);
  static vst2::VstTimeInfo* refreshTimeInfo(Vst2Instrument* instance);
  static void setLoadingInstance(Vst2Instrument* instance);
  static void registerEffect(vst2::AEffect* effect, Vst2Instrument* instance);
  static void unregisterEffect(vst2::AEffect* effect);

  vst2::AEffect* effect() const;
  intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f);
  std::string effectString(int32_t opcode, int32_t index = 0);
  // Logs why the load fails and keeps the reason for loadError.
  template <class... Pieces>
  void refuseLoad(const Pieces&... pieces);
  // The scan's questions the plug-in answers yes.
  std::vector<std::string> answeredCanDos();
  // Title, units and current value of parameter `index`.
  ParameterInfo parameterInfo(int32_t index);
  // The name of program `index`; may select that program to learn it.
  std::string programName(int32_t index);
  bool acceptEffect(vst2::AEffect* candidate, const std::string& path);
  void rejectEffect(vst2::AEffect* candidate);
  void logLoaded();
  // Sends an editor opcode that only logs `failureLine` when the plug-in faults or throws.
  void sendEditorGuarded(int32_t opcode, const char* failureLine);
  // Asks the open editor for its rectangle and sizes `parent` to it.
  void sizeParentToEditor(WindowHandle parent);
  // The plug-in's own resize request (audioMasterSizeWindow): sizes the open
  // editor's parent window. Any thread; honoured only on the owner thread.
  void resizeEditorParent(int32_t width, intptr_t height);
  // Adds one message to the batch of the next block.
  void sendMidi(uint32_t status, uint32_t data1, uint32_t data2, int32_t deltaFrames);
  // [audio] no allocation, no lock
  void sendPendingEvents();
  // One silent block into scratch buffers after activation, so that no
  // message a parent sends meets the plug-in's first block. The time the
  // plug-in asks for meanwhile does not move on. Nothing before prepare.
  // [audio] no allocation, no lock
  void warmUp();

  // The thread that drives the adapter and owns the editor's window; the
  // window system may not be driven from a plug-in's other threads.
  const std::thread::id ownerThread = std::this_thread::get_id();
  std::unique_ptr<LoadedEffect> plugin;
  std::string path;
  std::string directory;
  std::string loadFailure;
  // Read by the plug-in's own threads through the callback, which may run
  // while prepare sets them.
  std::atomic<double> sampleRate{44100.0};
  std::atomic<uint32_t> blockSize{512};
  bool loaded = false;
  bool editorOpen = false;
  WindowHandle editorParent = nullptr;
  uint32_t channel = 0;
  // Set by prepare for the plug-in's bus counts and block size.
  Vst2Buses buses;
  // While set, time requests from the owner thread leave the position alone.
  bool warmingUp = false;
};

}  // namespace corvel
