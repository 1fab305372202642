#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "instrument/log.h"
#include "vst2/vst2_loaded_effect.h"

namespace corvel {
namespace {

using namespace vst2;

constexpr intptr_t kHostVersion = 2400;
constexpr intptr_t kDefaultUniqueId = 0x4851505A;  // 'HQPZ'
constexpr double kDefaultSampleRate = 44100.0;
constexpr uint32_t kDefaultBlockSize = 512;
constexpr double kTempo = 120.0;
constexpr int32_t kLastAnsweredOpcode = audioMasterEndEdit;

std::map<AEffect*, Vst2Instrument*> effectRegistry;
std::mutex effectRegistryLock;
thread_local Vst2Instrument* loadingInstance = nullptr;

// Each requesting thread gets its own record, so one thread's refresh never
// tears what another is reading; the position is shared and advances once
// per request.
thread_local VstTimeInfo hostTimeInfo;
std::atomic<double> hostSamplePos{0.0};

constexpr const char* kCanDoTexts[] = {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents",
                                       "sendVstMidiEvent", "sendVstTimeInfo",     "sizeWindow",
                                       "supplyIdle"};

intptr_t canDo(const void* ptr) {
  if (!ptr) return 0;
  for (const char* text : kCanDoTexts) {
    if (std::strcmp(static_cast<const char*>(ptr), text) == 0) return 1;
  }
  return 0;
}

}  // namespace

void Vst2Instrument::setLoadingInstance(Vst2Instrument* instance) { loadingInstance = instance; }

void Vst2Instrument::registerEffect(AEffect* effect, Vst2Instrument* instance) {
  std::lock_guard lock(effectRegistryLock);
  effectRegistry[effect] = instance;
}

void Vst2Instrument::unregisterEffect(AEffect* effect) {
  std::lock_guard lock(effectRegistryLock);
  effectRegistry.erase(effect);
}

Vst2Instrument* Vst2Instrument::findInstance(AEffect* effect) {
  if (!effect) return loadingInstance;
  {
    std::lock_guard lock(effectRegistryLock);
    auto found = effectRegistry.find(effect);
    if (found != effectRegistry.end()) return found->second;
  }
  return loadingInstance;
}

VstTimeInfo* Vst2Instrument::refreshTimeInfo(Vst2Instrument* instance) {
  const uint32_t advance = instance ? instance->blockSize.load() : kDefaultBlockSize;
  // Only the owner thread reads the warm-up flag, which it alone writes.
  const bool standing = instance && std::this_thread::get_id() == instance->ownerThread && instance->warmingUp;
  const double samplePos = standing ? hostSamplePos.load() : hostSamplePos.fetch_add(advance);
  hostTimeInfo = VstTimeInfo{};
  hostTimeInfo.samplePos = samplePos;
  hostTimeInfo.sampleRate = instance ? instance->sampleRate.load() : kDefaultSampleRate;
  // Deliberately the fixed rate, not the adapter's: what plug-ins have seen so far.
  hostTimeInfo.nanoSeconds = samplePos / kDefaultSampleRate * 1000000000.0;
  hostTimeInfo.ppqPos = samplePos * kTempo / 60.0 / kDefaultSampleRate;
  hostTimeInfo.tempo = kTempo;
  hostTimeInfo.flags = kVstTransportChanged | kVstTransportRecording;
  return &hostTimeInfo;
}

intptr_t Vst2Instrument::answerHost(Vst2Instrument* instance, int32_t opcode, int32_t index,
                                    intptr_t value, void* ptr) {
  switch (opcode) {
    case audioMasterAutomate:
    case audioMasterIdle:
    case audioMasterWantMidi:
    case audioMasterGetCurrentProcessLevel:
    case audioMasterUpdateDisplay:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
      return 1;
    case audioMasterSizeWindow:
      if (instance) instance->resizeEditorParent(index, value);
      return 1;
    case audioMasterVersion:
      return kHostVersion;
    case audioMasterCurrentId: {
      AEffect* effect = instance ? instance->effect() : nullptr;
      return effect ? static_cast<intptr_t>(effect->uniqueID) : kDefaultUniqueId;
    }
    case audioMasterGetTime:
      return reinterpret_cast<intptr_t>(refreshTimeInfo(instance));
    case audioMasterGetSampleRate:
      return instance ? static_cast<intptr_t>(instance->sampleRate.load())
                      : static_cast<intptr_t>(kDefaultSampleRate);
    case audioMasterGetBlockSize:
      return instance ? instance->blockSize.load() : kDefaultBlockSize;
    case audioMasterCanDo:
      return canDo(ptr);
    case audioMasterGetDirectory:
      if (!instance || instance->directory.empty()) return 0;
      return reinterpret_cast<intptr_t>(instance->directory.c_str());
    default:
      return 0;
  }
}

intptr_t Vst2Instrument::hostCallback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                      void* ptr, float) {
  Vst2Instrument* instance = findInstance(effect);
  if (loadingInstance) {
    log::err("[Vst2Instrument] audioMaster op=", opcode, " idx=", index, " during VSTPluginMain");
  }
  if (static_cast<uint32_t>(opcode) > static_cast<uint32_t>(kLastAnsweredOpcode)) return 0;
  return answerHost(instance, opcode, index, value, ptr);
}

}  // namespace corvel
