#include "vst3/vst3_instrument.h"

#include <memory>
#include <utility>

#include "instrument/log.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "vst3/instrument_class.h"
#include "vst3/loaded_plugin.h"

namespace corvel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

bool initializeWith(FUnknown* object, FUnknown* context) {
  FUnknownPtr<IPluginBase> base(object);
  return base && base->initialize(context) == kResultOk;
}

void terminate(FUnknown* object) {
  FUnknownPtr<IPluginBase> base(object);
  if (base) base->terminate();
}

// The component itself when it is its own controller, else a separately initialised one.
IPtr<IEditController> createController(const VST3::Hosting::PluginFactory& factory,
                                       IComponent* component, FUnknown* context,
                                       bool& singleComponent) {
  FUnknownPtr<IEditController> self(component);
  if (self) {
    singleComponent = true;
    return self;
  }
  TUID classId{};
  if (component->getControllerClassId(classId) != kResultOk) return nullptr;
  auto controller = factory.createInstance<IEditController>(VST3::UID::fromTUID(classId));
  if (controller && !initializeWith(controller, context)) return nullptr;
  return controller;
}

void connect(IComponent* component, IEditController* controller) {
  FUnknownPtr<IConnectionPoint> componentPoint(component);
  FUnknownPtr<IConnectionPoint> controllerPoint(controller);
  if (!componentPoint || !controllerPoint) return;
  componentPoint->connect(controllerPoint);
  controllerPoint->connect(componentPoint);
}

void activateBuses(IComponent& component) {
  constexpr std::pair<MediaType, BusDirection> kBusKinds[] = {
      {kAudio, kInput}, {kAudio, kOutput}, {kEvent, kInput}, {kEvent, kOutput}};
  for (auto [type, direction] : kBusKinds) {
    int32 count = component.getBusCount(type, direction);
    for (int32 index = 0; index < count; ++index) component.activateBus(type, direction, index, true);
  }
}

// Null on success, else the log line of the step that failed.
const char* startProcessing(LoadedPlugin& record, IComponent& component, int32 blockSize,
                            double sampleRate) {
  FUnknownPtr<IAudioProcessor> processor(&component);
  if (!processor) return "[Vst3Instrument] no IAudioProcessor";
  ProcessSetup setup{kRealtime, kSample32, blockSize, sampleRate};
  if (processor->setupProcessing(setup) != kResultOk) return "[Vst3Instrument] setupProcessing failed";
  if (!record.processData.prepare(component, blockSize, kSample32)) {
    return "[Vst3Instrument] processData.prepare failed";
  }
  if (component.setActive(true) != kResultOk) return "[Vst3Instrument] setActive failed";
  processor->setProcessing(true);
  return nullptr;
}

int32_t outputChannelCount(IComponent& component) {
  if (component.getBusCount(kAudio, kOutput) <= 0) return 2;
  BusInfo info{};
  if (component.getBusInfo(kAudio, kOutput, 0, info) != kResultOk || info.channelCount <= 0) return 2;
  return info.channelCount;
}

ProcessContext startingTransport(double sampleRate) {
  ProcessContext context{};
  context.state = ProcessContext::kPlaying | ProcessContext::kProjectTimeMusicValid |
                  ProcessContext::kTempoValid | ProcessContext::kTimeSigValid;
  context.sampleRate = sampleRate;
  context.tempo = 120.0;
  context.timeSigNumerator = 4;
  context.timeSigDenominator = 4;
  return context;
}

}  // namespace

Vst3Instrument::Vst3Instrument() = default;

Vst3Instrument::~Vst3Instrument() {
  if (plugin) teardown();
}

void Vst3Instrument::setChannel(uint32_t hostChannel) { channel = hostChannel; }

bool Vst3Instrument::prepare(double rate, int32_t maxBlockSize) {
  sampleRate = rate;
  blockSize = maxBlockSize;
  return loaded;
}

bool Vst3Instrument::loadPlugin(const std::string& pluginPath, double rate) {
  if (loaded) return true;
  std::string error;
  auto module = VST3::Hosting::Module::create(pluginPath, error);
  if (!module) {
    log::err("[Vst3Instrument] Module::create failed: ", error);
    return false;
  }
  const auto& factory = module->getFactory();
  const auto infos = factory.classInfos();
  const auto chosenIndex = chooseInstrumentClass(infos);
  if (!chosenIndex) {
    log::err("[Vst3Instrument] no Audio Module class in ", pluginPath);
    return false;
  }
  const auto* chosen = &infos[*chosenIndex];
  auto component = factory.createInstance<IComponent>(chosen->ID());
  if (!component) {
    log::err("[Vst3Instrument] createInstance<IComponent> failed");
    return false;
  }
  auto hostContext = std::make_unique<HostContext>();
  if (!initializeWith(component, hostContext.get())) {
    log::err("[Vst3Instrument] component initialize failed");
    return false;
  }
  bool singleComponent = false;
  auto controller = createController(factory, component, hostContext.get(), singleComponent);
  if (!controller) {
    log::err("[Vst3Instrument] no edit controller for ", pluginPath);
    terminate(component);
    return false;
  }

  auto record = std::make_unique<LoadedPlugin>();
  record->singleComponent = singleComponent;
  record->plugFrame.offer(hostContext.get());
  controller->setComponentHandler(&record->componentHandler);
  connect(component, controller);
  activateBuses(*component);
  if (const char* failure = startProcessing(*record, *component, blockSize, rate)) {
    log::err(failure);
    // What was initialised is terminated before the references go.
    terminate(component);
    if (!singleComponent) terminate(controller);
    // Before the record: the plug-in may still hold the handler that lives in it.
    controller = nullptr;
    component = nullptr;
    return false;
  }
  record->outputChannels = outputChannelCount(*component);
  record->eventList.setMaxSize(4096);

  record->module = std::move(module);
  record->component = std::move(component);
  record->controller = std::move(controller);
  record->hostContext = std::move(hostContext);
  record->processContext = startingTransport(rate);
  plugin = std::move(record);
  path = pluginPath;
  sampleRate = rate;
  loaded = true;
  warmUp();
  log::out("[Vst3Instrument] loaded ", pluginPath, " (", chosen->name(), ") outCh=",
           plugin->outputChannels);
  return true;
}

void Vst3Instrument::teardown() {
  closeGUI();
  if (plugin->component) {
    FUnknownPtr<IAudioProcessor> processor(plugin->component);
    if (processor) processor->setProcessing(false);
    plugin->component->setActive(false);
    plugin->component->terminate();
  }
  if (plugin->controller && !plugin->singleComponent) plugin->controller->terminate();
  plugin->processData.unprepare();
  plugin.reset();
}

bool Vst3Instrument::reloadPlugin() {
  if (!plugin) return false;
  teardown();
  loaded = false;
  editorOpen = false;
  editorWasOpened = false;
  return loadPlugin(path, sampleRate);
}

void Vst3Instrument::reset() {
  if (!plugin || !plugin->component) return;
  FUnknownPtr<IAudioProcessor> processor(plugin->component);
  if (processor) processor->setProcessing(false);
  plugin->component->setActive(false);
  plugin->component->setActive(true);
  if (processor) processor->setProcessing(true);
  // Queued notes go too: their ids would pair with nothing.
  for (auto& ids : plugin->noteIds) ids.clear();
  plugin->eventList.clear();
  warmUp();
}

void Vst3Instrument::setSuspended(bool suspend) { suspended = suspend; }

void Vst3Instrument::selectProgram(uint32_t, uint32_t, uint32_t) {}

}  // namespace corvel
