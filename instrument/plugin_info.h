// What a module holds, as a scan reports it before anything is hosted: its
// classes (VST 3) or its identity (VST 2), and for the instrument the host
// would play, the outputs, parameters and programs a parent maps to.
// Plain data; filled by the adapters' scan helpers on the main thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvel {

enum class ScanStatus : uint8_t {
  kScanned,     // the module loaded and was described
  kLoadFailed,  // it could not be loaded; the error says why
};

struct BusInfo {
  std::string name;
  int32_t channels = 0;
};

struct ParameterInfo {
  uint32_t id = 0;  // VST 3 parameter id; VST 2 parameter index
  std::string title;
  std::string units;
  double defaultValue = 0;  // normalised, 0 to 1
  int32_t stepCount = 0;    // 0: continuous
  uint32_t flags = 0;       // the format's own flag bits
};

struct ProgramInfo {
  int32_t index = 0;
  std::string name;
};

// The instrument the host would load from the module.
struct HostedInstrumentInfo {
  std::vector<BusInfo> outputs;
  std::vector<ParameterInfo> parameters;
  std::vector<ProgramInfo> programs;
};

struct Vst3ClassInfo {
  std::string name;
  std::string category;
  std::string subCategories;  // "|"-separated, as the factory gives them
  std::string vendor;
  std::string version;
  std::string sdkVersion;
  std::string classId;  // 32 upper-case hex digits
};

struct Vst3ModuleInfo {
  std::vector<Vst3ClassInfo> classes;
  // Index into `classes` of the class the host's own rule picks; none when
  // the module holds no instrument the host would load.
  std::optional<size_t> hostedClass;
  HostedInstrumentInfo hosted;
};

struct Vst2PluginInfo {
  std::string name;
  std::string vendor;
  std::string product;
  int32_t uniqueId = 0;
  int32_t version = 0;
  uint32_t flags = 0;
  std::vector<std::string> canDos;  // the host's questions the plug-in answered yes
  HostedInstrumentInfo hosted;
};

}  // namespace corvel
