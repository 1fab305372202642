// Preset capture and restore: component and controller state as two opaque buffers.
#include "instrument/log.h"
#include "public.sdk/source/common/memorystream.h"
#include "vst3/loaded_plugin.h"
#include "vst3/state_blob.h"
#include "vst3/vst3_instrument.h"

namespace corvel {

using namespace Steinberg;

namespace {

// Runs `getState` on a fresh stream; true when it succeeded and wrote something.
template <class GetState>
bool readState(GetState getState, std::vector<uint8_t>& out) {
  MemoryStream stream;
  if (getState(&stream) != kResultOk || stream.getSize() <= 0) return false;
  const auto* data = reinterpret_cast<const uint8_t*>(stream.getData());
  out.assign(data, data + stream.getSize());
  return true;
}

// A stream positioned at the start of `bytes`, for one setState call.
template <class SetState>
tresult writeState(SetState setState, const std::vector<uint8_t>& bytes) {
  MemoryStream stream;
  int32 written = 0;
  stream.write(const_cast<uint8_t*>(bytes.data()), static_cast<int32>(bytes.size()), &written);
  stream.seek(0, IBStream::kIBSeekSet, nullptr);
  return setState(&stream);
}

}  // namespace

void Vst3Instrument::captureState() {
  if (!plugin) return;
  componentState.clear();
  controllerState.clear();
  if (auto& component = plugin->component) {
    if (readState([&](IBStream* s) { return component->getState(s); }, componentState)) {
      log::out("[Vst3Instrument] state captured ch=", channel, " component=",
               componentState.size(), "B");
    }
  }
  if (auto& controller = plugin->controller; controller && !plugin->singleComponent) {
    readState([&](IBStream* s) { return controller->getState(s); }, controllerState);
  }
}

void Vst3Instrument::restoreState() {
  if (!plugin) return;
  auto& component = plugin->component;
  auto& controller = plugin->controller;
  const bool separateController = controller && !plugin->singleComponent;
  if (!componentState.empty()) {
    if (component &&
        writeState([&](IBStream* s) { return component->setState(s); }, componentState) ==
            kResultOk) {
      log::out("[Vst3Instrument] state restored ch=", channel, " component=",
               componentState.size(), "B");
      // A separate controller mirrors the component's parameters from its state.
      if (separateController) {
        writeState([&](IBStream* s) { return controller->setComponentState(s); }, componentState);
      }
    } else {
      log::err("[Vst3Instrument] setState(component) failed ch=", channel);
    }
  }
  if (!controllerState.empty() && controller &&
      writeState([&](IBStream* s) { return controller->setState(s); }, controllerState) !=
          kResultOk) {
    log::err("[Vst3Instrument] setState(controller) failed ch=", channel);
  }
}

std::string Vst3Instrument::getSerializedState() {
  return encodeStateBlob(componentState, controllerState);
}

void Vst3Instrument::loadSerializedState(const std::string& text) {
  std::vector<uint8_t> component;
  std::vector<uint8_t> controller;
  switch (decodeStateBlob(text, component, controller)) {
    case StateBlobError::badBase64:
      log::err("[Vst3Instrument] loadSerializedState: bad base64 ch=", channel);
      return;
    case StateBlobError::badCompLen:
      log::err("[Vst3Instrument] loadSerializedState: bad compLen");
      return;
    case StateBlobError::badCtrlLen:
      log::err("[Vst3Instrument] loadSerializedState: bad ctrlLen");
      return;
    case StateBlobError::none:
      break;
  }
  componentState = std::move(component);
  controllerState = std::move(controller);
  log::out("[Vst3Instrument] loaded serialized state ch=", channel, " component=",
           componentState.size(), " controller=", controllerState.size());
  restoreState();
}

}  // namespace corvel
