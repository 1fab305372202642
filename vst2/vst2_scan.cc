#include "vst2/vst2_scan.h"

#include <array>
#include <string>
#include <vector>

#include "vst2/vst2_instrument.h"

namespace corvel {
namespace {

using namespace vst2;

// The host's usual questions; a scan keeps those answered yes.
constexpr std::array kCanDoQuestions = {
    "receiveVstEvents",   "receiveVstMidiEvent", "sendVstEvents", "sendVstMidiEvent", "receiveVstTimeInfo",
    "midiProgramNames",   "bypass",              "offline",       "noRealTime",
};

// The rate and block size a scan opens the plug-in with.
constexpr double kScanSampleRate = 48000.0;
constexpr int32_t kScanBlockSize = 256;

}  // namespace

void Vst2Instrument::describe(Vst2PluginInfo& info) {
  AEffect* target = effect();
  info.name = effectString(effGetEffectName);
  info.vendor = effectString(effGetVendorString);
  info.product = effectString(effGetProductString);
  info.uniqueId = target->uniqueID;
  info.version = target->version;
  info.flags = target->flags;
  info.canDos = answeredCanDos();
  HostedInstrumentInfo& hosted = info.hosted;
  hosted.outputs = {BusInfo{"Output", target->numOutputs}};
  // Before the programs: walking them may change the values.
  hosted.parameters.clear();
  for (int32_t index = 0; index < target->numParams; ++index) hosted.parameters.push_back(parameterInfo(index));
  hosted.programs.clear();
  for (int32_t index = 0; index < target->numPrograms; ++index) {
    hosted.programs.push_back(ProgramInfo{index, programName(index)});
  }
  if (target->numPrograms > 0) dispatch(effSetProgram, 0, 0);  // the one prepare chose
}

std::vector<std::string> Vst2Instrument::answeredCanDos() {
  std::vector<std::string> answered;
  for (const char* question : kCanDoQuestions) {
    if (dispatch(effCanDo, 0, 0, const_cast<char*>(question)) == 1) answered.emplace_back(question);
  }
  return answered;
}

// VST 2 knows no step counts or flags without further queries; both stay 0.
ParameterInfo Vst2Instrument::parameterInfo(int32_t index) {
  AEffect* target = effect();
  ParameterInfo parameter;
  parameter.id = static_cast<uint32_t>(index);
  parameter.title = effectString(effGetParamName, index);
  parameter.units = effectString(effGetParamLabel, index);
  if (target->getParameter) parameter.defaultValue = target->getParameter(target, index);
  return parameter;
}

// Plug-ins that leave the indexed query unanswered (amsynth) name only their
// current program.
std::string Vst2Instrument::programName(int32_t index) {
  std::string name = effectString(effGetProgramNameIndexed, index);
  if (!name.empty()) return name;
  dispatch(effSetProgram, 0, index);
  return effectString(effGetProgramName);
}

ScanStatus scanVst2Plugin(const std::string& path, Vst2PluginInfo& info, std::string& error) {
  Vst2Instrument instrument;
  if (!instrument.loadPlugin(path, kScanSampleRate)) {
    error = instrument.loadError();
    return ScanStatus::kLoadFailed;
  }
  if (!instrument.prepare(kScanSampleRate, kScanBlockSize)) {
    error = "the plug-in faulted while it was opened: " + path;
    return ScanStatus::kLoadFailed;
  }
  instrument.describe(info);
  return ScanStatus::kScanned;
}

}  // namespace corvel
