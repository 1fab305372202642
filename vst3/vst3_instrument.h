// INativeInstrument for VST 3 plug-ins, reached through the SDK's hosting helpers.
// Every operation runs on the host's main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "instrument/native_instrument.h"

namespace Steinberg::Vst {
class IAudioProcessor;
class IEditController;
class IEventList;
class IParameterChanges;
struct ProcessContext;
}

namespace corvel {

struct HostedInstrumentInfo;
struct LoadedPlugin;

class Vst3Instrument : public INativeInstrument {
 public:
  Vst3Instrument();
  ~Vst3Instrument() override;

  // The host's channel number; it only appears in state log lines. Set before loading.
  void setChannel(uint32_t channel);
  // Loads, connects and activates the instrument class of the module at `path`.
  // True at once when something is already loaded; a failure leaves nothing behind.
  bool loadPlugin(const std::string& path, double sampleRate);
  // What the loaded instrument offers a parent: its output buses, its parameters and
  // the programs of its root unit. Leaves `info` alone when nothing is loaded.
  void describe(HostedInstrumentInfo& info) const;

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
  // Processing off, deactivate, activate, processing on, then a warm-up block.
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

  // [audio] no allocation, no lock
  void process(float* outLeft, float* outRight, int32_t frames) override;

 private:
  void teardown();
  // One process call into the plug-in's own buffers; its tresult.
  // [audio] no allocation, no lock
  int32_t render(Steinberg::Vst::IAudioProcessor& processor, int32_t frames, Steinberg::Vst::IEventList* events,
                 Steinberg::Vst::IParameterChanges* changes, Steinberg::Vst::ProcessContext* context);
  // One silent block after activation that nobody hears and that leaves the
  // transport where it stood, so that no message a parent sends meets the
  // plug-in's first block. [audio] no allocation, no lock
  void warmUp();
  uint32_t findVolumeParameter() const;
  void queueParameterChange(uint32_t id, double value);
  // The tresult of adding the event.
  int32_t addNoteOff(uint32_t pitch, int32_t noteId, int32_t sampleOffset);

  std::unique_ptr<LoadedPlugin> plugin;
  std::string path;
  double sampleRate = 44100.0;
  int32_t blockSize = 256;
  bool loaded = false;
  bool editorOpen = false;
  bool editorWasOpened = false;
  bool suspended = false;
  uint32_t channel = 0;
  std::vector<uint8_t> componentState;
  std::vector<uint8_t> controllerState;
};

}  // namespace corvel
