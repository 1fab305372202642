// The frame handed to a plug-in's editor view. It answers resize requests by resizing
// the view alone (the host window keeps its size) and offers the host's run loop, which
// Linux editors need to draw at all (where the platform has one). Main thread.
#pragma once

#include "pluginterfaces/gui/iplugview.h"
#include "vst3/host_context.h"

namespace corvel {

class HostPlugFrame : public Steinberg::IPlugFrame {
 public:
  // The context whose run loop is offered to views; null offers none.
  void offer(HostContext* context);

  // The run loop, for every other interface id nothing.
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  // Embedded in its owner, never counted or freed through these.
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

  // onSize on the view with the new size; kResultOk also when an argument is missing.
  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override;

 private:
  HostContext* context = nullptr;
};

}  // namespace corvel
