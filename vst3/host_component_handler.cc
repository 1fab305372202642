#include "vst3/host_component_handler.h"

namespace corvel {

using Steinberg::kNoInterface;
using Steinberg::kResultOk;
using Steinberg::tresult;

tresult PLUGIN_API HostComponentHandler::queryInterface(const Steinberg::TUID, void** obj) {
  if (obj) *obj = nullptr;
  return kNoInterface;
}

Steinberg::uint32 PLUGIN_API HostComponentHandler::addRef() { return 1; }
Steinberg::uint32 PLUGIN_API HostComponentHandler::release() { return 1; }

tresult PLUGIN_API HostComponentHandler::beginEdit(Steinberg::Vst::ParamID) { return kResultOk; }

tresult PLUGIN_API HostComponentHandler::performEdit(Steinberg::Vst::ParamID,
                                                     Steinberg::Vst::ParamValue) {
  return kResultOk;
}

tresult PLUGIN_API HostComponentHandler::endEdit(Steinberg::Vst::ParamID) { return kResultOk; }
tresult PLUGIN_API HostComponentHandler::restartComponent(Steinberg::int32) { return kResultOk; }

}  // namespace corvel
