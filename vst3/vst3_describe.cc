// What a loaded instrument offers a parent, read from its component and controller.
// Main thread.
#include "instrument/plugin_info.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "public.sdk/source/vst/utility/stringconvert.h"
#include "vst3/loaded_plugin.h"
#include "vst3/vst3_instrument.h"

namespace corvel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::string utf8(const String128 text) { return VST3::StringConvert::convert(text); }

std::vector<corvel::BusInfo> outputBuses(IComponent& component) {
  std::vector<corvel::BusInfo> buses;
  const int32 count = component.getBusCount(kAudio, kOutput);
  for (int32 index = 0; index < count; ++index) {
    Vst::BusInfo bus{};
    if (component.getBusInfo(kAudio, kOutput, index, bus) != kResultOk) continue;
    buses.push_back({utf8(bus.name), bus.channelCount});
  }
  return buses;
}

std::vector<ParameterInfo> parameters(IEditController& controller) {
  std::vector<ParameterInfo> result;
  const int32 count = controller.getParameterCount();
  for (int32 index = 0; index < count; ++index) {
    Vst::ParameterInfo parameter{};
    if (controller.getParameterInfo(index, parameter) != kResultOk) continue;
    result.push_back({parameter.id, utf8(parameter.title), utf8(parameter.units),
                      parameter.defaultNormalizedValue, parameter.stepCount,
                      static_cast<uint32_t>(parameter.flags)});
  }
  return result;
}

// The program list the root unit names; kNoProgramListId when it names none.
ProgramListID rootProgramList(IUnitInfo& units) {
  const int32 count = units.getUnitCount();
  for (int32 index = 0; index < count; ++index) {
    UnitInfo unit{};
    if (units.getUnitInfo(index, unit) == kResultOk && unit.id == kRootUnitId) return unit.programListId;
  }
  return kNoProgramListId;
}

std::vector<ProgramInfo> programs(IUnitInfo& units, ProgramListID listId) {
  std::vector<ProgramInfo> result;
  const int32 lists = units.getProgramListCount();
  for (int32 index = 0; index < lists; ++index) {
    ProgramListInfo list{};
    if (units.getProgramListInfo(index, list) != kResultOk || list.id != listId) continue;
    for (int32 program = 0; program < list.programCount; ++program) {
      String128 name{};
      if (units.getProgramName(listId, program, name) == kResultOk) result.push_back({program, utf8(name)});
    }
    break;
  }
  return result;
}

std::vector<ProgramInfo> rootPrograms(IEditController& controller) {
  FUnknownPtr<IUnitInfo> units(&controller);
  if (!units) return {};
  const ProgramListID listId = rootProgramList(*units);
  if (listId == kNoProgramListId) return {};
  return programs(*units, listId);
}

}  // namespace

void Vst3Instrument::describe(HostedInstrumentInfo& info) const {
  if (!plugin) return;
  info.outputs = outputBuses(*plugin->component);
  info.parameters = parameters(*plugin->controller);
  info.programs = rootPrograms(*plugin->controller);
}

}  // namespace corvel
