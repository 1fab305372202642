// Block rendering: one IAudioProcessor::process call per host block.
#include <algorithm>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "vst3/loaded_plugin.h"
#include "vst3/vst3_instrument.h"

namespace corvel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Running transport at a fixed tempo; the block reports the position at its end.
void advanceTransport(ProcessContext& context, int32_t frames) {
  context.projectTimeSamples += frames;
  context.projectTimeMusic =
      static_cast<double>(context.projectTimeSamples) / context.sampleRate * (context.tempo / 60.0);
}

void clearBuses(AudioBusBuffers* buses, int32 count, int32_t frames) {
  for (int32 bus = 0; bus < count; ++bus) {
    for (int32 ch = 0; ch < buses[bus].numChannels; ++ch) {
      if (Sample32* buffer = buses[bus].channelBuffers32[ch]) std::fill_n(buffer, frames, 0.0f);
    }
  }
}

void copyOrSilence(float* out, const Sample32* source, int32_t frames) {
  if (source) {
    std::copy_n(source, frames, out);
  } else {
    std::fill_n(out, frames, 0.0f);
  }
}

// Bus 0's first two channels; a mono bus sounds on both sides.
void deliver(const ProcessData& data, tresult result, float* outLeft, float* outRight,
             int32_t frames) {
  if (result < 0 || data.numOutputs == 0) {
    copyOrSilence(outLeft, nullptr, frames);
    copyOrSilence(outRight, nullptr, frames);
    return;
  }
  const AudioBusBuffers& bus = data.outputs[0];
  const Sample32* left = bus.numChannels > 0 ? bus.channelBuffers32[0] : nullptr;
  const Sample32* right = bus.numChannels > 1 ? bus.channelBuffers32[1] : left;
  copyOrSilence(outLeft, left, frames);
  copyOrSilence(outRight, right, frames);
}

}  // namespace

int32_t Vst3Instrument::render(IAudioProcessor& processor, int32_t frames, IEventList* events,
                               IParameterChanges* changes, ProcessContext* context) {
  HostProcessData& data = plugin->processData;
  data.processMode = kRealtime;
  data.numSamples = frames;
  data.inputEvents = events;
  data.inputParameterChanges = changes;
  data.processContext = context;
  clearBuses(data.outputs, data.numOutputs, frames);
  clearBuses(data.inputs, data.numInputs, frames);
  return processor.process(data);
}

void Vst3Instrument::process(float* outLeft, float* outRight, int32_t frames) {
  if (suspended) return;
  if (!plugin || !plugin->component || frames <= 0) return;
  // The plug-in's buffers hold blockSize frames; a longer block cannot be rendered.
  if (frames > blockSize) return;
  FUnknownPtr<IAudioProcessor> processor(plugin->component);
  if (!processor) return;

  advanceTransport(plugin->processContext, frames);
  tresult result = render(*processor, frames, &plugin->eventList, &plugin->parameterChanges, &plugin->processContext);
  deliver(plugin->processData, result, outLeft, outRight, frames);
  plugin->eventList.clear();
  plugin->parameterChanges.clearQueue();
}

void Vst3Instrument::warmUp() {
  FUnknownPtr<IAudioProcessor> processor(plugin->component);
  if (!processor) return;
  ProcessContext standing = plugin->processContext;
  render(*processor, blockSize, &plugin->noEvents, &plugin->noChanges, &standing);
  // Never left pointing at the finished copy.
  plugin->processData.processContext = &plugin->processContext;
}

}  // namespace corvel
