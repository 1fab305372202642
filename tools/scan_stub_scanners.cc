// Stand-ins for the adapters' scan functions (see scan_stub_scanners.h): VST 2
// opens the effect unguarded and reads its identity, enough for the tool's
// tests; VST 3 refuses every module.
#include "tools/scan_stub_scanners.h"

#include <cstring>

#include "platform/library.h"
#include "vst2/vst2_records.h"

namespace corvel {
namespace {

using namespace vst2;

intptr_t answerNothing(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

std::string effectString(AEffect* effect, int32_t opcode) {
  char text[256] = {};
  effect->dispatcher(effect, opcode, 0, 0, text, 0.0f);
  return std::string(text, strnlen(text, sizeof text));
}

}  // namespace

ScanStatus scanVst3Module(const std::string&, Vst3ModuleInfo&, std::string& error) {
  error = "VST 3 scanning is not built in yet";
  return ScanStatus::kLoadFailed;
}

ScanStatus scanVst2Plugin(const std::string& path, Vst2PluginInfo& info, std::string& error) {
  LibraryHandle library = loadLibrary(path);
  void* entry = library ? findSymbol(library, "VSTPluginMain") : nullptr;
  AEffect* effect = entry ? reinterpret_cast<EntryProc>(entry)(answerNothing) : nullptr;
  if (!effect || effect->magic != kEffectMagic) {
    error = "no effect";
    if (library) freeLibrary(library);
    return ScanStatus::kLoadFailed;
  }
  effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
  info.name = effectString(effect, effGetEffectName);
  info.vendor = effectString(effect, effGetVendorString);
  info.product = effectString(effect, effGetProductString);
  info.uniqueId = effect->uniqueID;
  info.version = effect->version;
  info.flags = effect->flags;
  info.hosted.outputs.push_back({"Output", effect->numOutputs});
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  freeLibrary(library);
  return ScanStatus::kScanned;
}

}  // namespace corvel
