// The component handler handed to a plug-in's edit controller. The host keeps no
// parameter model of its own, so edits and restart requests are accepted and dropped.
// Main thread (plug-ins call it from their editor).
#pragma once

#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace corvel {

class HostComponentHandler : public Steinberg::Vst::IComponentHandler {
 public:
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  // Embedded in its owner, never counted or freed through these.
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

  Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
  Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                            Steinberg::Vst::ParamValue valueNormalized) override;
  Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
  Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;
};

}  // namespace corvel
