// Everything that belongs to one loaded VST 3 plug-in. Members are destroyed in reverse
// order, so the module reference goes last, after every interface that came from it.
// Main thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "public.sdk/source/vst/hosting/eventlist.h"
#include "public.sdk/source/vst/hosting/module.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"
#include "vst3/host_component_handler.h"
#include "vst3/host_context.h"
#include "vst3/host_plug_frame.h"

namespace corvel {

inline constexpr int kMidiNumbers = 128;

struct LoadedPlugin {
  VST3::Hosting::Module::Ptr module;
  // The host's objects come before the plug-in's, so they outlive the references the
  // plug-in's objects keep to them until they are freed.
  // The SDK's host context is not reference counted (its release never frees it). It
  // holds the run loop, so what the plug-in registered goes before the module does.
  std::unique_ptr<HostContext> hostContext;
  HostPlugFrame plugFrame;
  HostComponentHandler componentHandler;
  Steinberg::IPtr<Steinberg::Vst::IComponent> component;
  Steinberg::IPtr<Steinberg::Vst::IEditController> controller;
  Steinberg::Vst::HostProcessData processData;
  Steinberg::Vst::EventList eventList{50};
  Steinberg::Vst::ParameterChanges parameterChanges{0};
  // Always empty: what a warm-up block hears.
  Steinberg::Vst::EventList noEvents{0};
  Steinberg::Vst::ParameterChanges noChanges{0};
  Steinberg::Vst::ProcessContext processContext{};
  Steinberg::IPtr<Steinberg::IPlugView> view;
  int32_t outputChannels = 2;
  bool singleComponent = false;
  int32_t nextNoteId = 1;
  std::array<std::vector<int32_t>, kMidiNumbers> noteIds;
  std::array<bool, kMidiNumbers> ccSearched{};
  std::array<bool, kMidiNumbers> ccLogged{};
  std::array<Steinberg::Vst::ParamID, kMidiNumbers> ccFallbackTag{};
};

}  // namespace corvel
