#include "vst2/vst2_instrument.h"

#include <cstring>
#include <sstream>

#include "instrument/log.h"
#include "platform/fault_guard.h"
#include "vst2/vst2_loaded_effect.h"

namespace corvel {
namespace {

using namespace vst2;

EntryProc findEntry(LibraryHandle module) {
  void* entry = findSymbol(module, "VSTPluginMain");
  if (!entry) entry = findSymbol(module, "main");
  return reinterpret_cast<EntryProc>(entry);
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

Vst2Instrument::Vst2Instrument() = default;

Vst2Instrument::~Vst2Instrument() {
  if (!plugin) return;
  if (AEffect* loadedEffect = effect()) {
    runGuarded([&] {
      if (editorOpen) dispatch(effEditClose);
      dispatch(effMainsChanged, 0, 0);
      dispatch(effStopProcess);
      dispatch(effClose);
    });
    unregisterEffect(loadedEffect);
  }
  freeLibrary(plugin->module);
  plugin.reset();
}

void Vst2Instrument::setChannel(uint32_t newChannel) { channel = newChannel; }

AEffect* Vst2Instrument::effect() const { return plugin ? plugin->effect : nullptr; }

intptr_t Vst2Instrument::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
  AEffect* target = effect();
  return target->dispatcher(target, opcode, index, value, ptr, opt);
}

std::string Vst2Instrument::effectString(int32_t opcode, int32_t index) {
  char text[kEffectStringCapacity] = {};
  dispatch(opcode, index, 0, text);
  return std::string(text, strnlen(text, sizeof text));
}

template <class... Pieces>
void Vst2Instrument::refuseLoad(const Pieces&... pieces) {
  std::ostringstream reason;
  (reason << ... << pieces);
  loadFailure = reason.str();
  log::err("[Vst2Instrument] ", loadFailure);
}

const std::string& Vst2Instrument::loadError() const { return loadFailure; }

bool Vst2Instrument::loadPlugin(const std::string& libraryPath, double rate) {
  loadFailure.clear();
  LibraryHandle module = loadLibrary(libraryPath);
  if (!module) {
    refuseLoad("LoadLibraryA failed: ", libraryPath, " (err=", lastLoadError(), ")");
    return false;
  }
  EntryProc entry = findEntry(module);
  if (!entry) {
    refuseLoad("no VSTPluginMain/main export: ", libraryPath);
    freeLibrary(module);
    return false;
  }
  plugin = std::make_unique<LoadedEffect>();
  plugin->module = module;
  directory = directoryOf(libraryPath);

  setLoadingInstance(this);
  log::err("[Vst2Instrument] calling VSTPluginMain...");
  AEffect* candidate = entry(&Vst2Instrument::hostCallback);
  setLoadingInstance(nullptr);
  log::err("[Vst2Instrument] VSTPluginMain returned fx=", log::Ptr{candidate});

  if (!acceptEffect(candidate, libraryPath)) {
    // The host ends after a failed load, but the library is released anyway.
    freeLibrary(plugin->module);
    plugin.reset();
    return false;
  }
  plugin->effect = candidate;
  path = libraryPath;
  sampleRate = rate;
  registerEffect(candidate, this);
  loaded = true;
  logLoaded();
  return true;
}

bool Vst2Instrument::acceptEffect(AEffect* candidate, const std::string& libraryPath) {
  if (!candidate) {
    refuseLoad("VSTPluginMain returned NULL: ", libraryPath);
    return false;
  }
  if (candidate->magic != kEffectMagic) {
    refuseLoad("bad AEffect magic 0x", log::Hex{static_cast<uint32_t>(candidate->magic)},
               " (want 0x", log::Hex{static_cast<uint32_t>(kEffectMagic)}, ") in: ", libraryPath);
    rejectEffect(candidate);
    return false;
  }
  if (!(candidate->flags & effFlagsCanReplacing)) {
    refuseLoad("plugin lacks CanReplacing: ", libraryPath);
    rejectEffect(candidate);
    return false;
  }
  return true;
}

void Vst2Instrument::rejectEffect(AEffect* candidate) {
  runGuarded([candidate] { candidate->dispatcher(candidate, effClose, 0, 0, nullptr, 0.0f); });
}

void Vst2Instrument::logLoaded() {
  const AEffect* loadedEffect = effect();
  const std::string vendor = effectString(effGetVendorString);
  const std::string product = effectString(effGetProductString);
  const std::string name = effectString(effGetEffectName);
  log::out("[Vst2Instrument] loaded ch=", channel, " ", vendor, " / ", product, " / ", name, " v",
           loadedEffect->version, " id=0x", log::Hex{static_cast<uint32_t>(loadedEffect->uniqueID)},
           " flags=0x", log::Hex{loadedEffect->flags}, " ins=", loadedEffect->numInputs,
           " outs=", loadedEffect->numOutputs, " progs=", loadedEffect->numPrograms,
           " params=", loadedEffect->numParams, " [", path, "]");
}

bool Vst2Instrument::prepare(double rate, int32_t maxBlockSize) {
  if (!effect()) return false;
  sampleRate = rate;
  blockSize = static_cast<uint32_t>(maxBlockSize);
  const bool completed = runGuarded([&] {
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    dispatch(effSetBlockSize, 0, maxBlockSize);
    dispatch(effOpen);
    dispatch(effSetProgram, 0, 0);
    dispatch(effMainsChanged, 0, 1);
  });
  if (!completed) {
    log::err("[Vst2Instrument] init dispatcher EXCEPTION ch=", channel);
    return false;
  }
  buses.size(effect()->numInputs, effect()->numOutputs, maxBlockSize);
  warmUp();
  return true;
}

void Vst2Instrument::reset() {
  if (!effect()) return;
  const bool completed = runGuarded([&] {
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
  });
  if (!completed) {
    log::err("[Vst2Instrument] reset dispatcher EXCEPTION ch=", channel);
    return;
  }
  warmUp();
}

bool Vst2Instrument::needsFreshInstance() { return false; }
void Vst2Instrument::setSuspended(bool) {}
bool Vst2Instrument::reloadPlugin() { return true; }
bool Vst2Instrument::ensureFreshInstance() { return true; }
void Vst2Instrument::resizeGUI(int32_t, int32_t) {}

}  // namespace corvel
