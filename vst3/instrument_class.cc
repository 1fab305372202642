#include "vst3/instrument_class.h"

#include <string>

namespace corvel {

namespace {
constexpr const char* kAudioModuleCategory = "Audio Module Class";
}

std::optional<size_t> chooseInstrumentClass(const VST3::Hosting::PluginFactory::ClassInfos& infos) {
  std::optional<size_t> fallback;
  for (size_t index = 0; index < infos.size(); ++index) {
    if (infos[index].category() != kAudioModuleCategory) continue;
    if (infos[index].subCategoriesString().find("Instrument") != std::string::npos) return index;
    if (!fallback) fallback = index;
  }
  return fallback;
}

}  // namespace corvel
