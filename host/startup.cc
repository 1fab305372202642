#include "host/startup.h"

#include <cstdio>
#include <string>

#include "host/editor_window.h"
#include "host/heartbeat.h"
#include "host/host_log.h"
#include "host/host_options.h"
#include "host/preset_exchange.h"
#include "host/service_loop.h"
#include "host/shm_block.h"
#include "platform/fatal_report.h"
#include "platform/parent_watch.h"
#include "platform/shm.h"
#include "platform/system.h"
#include "platform/termination.h"

namespace corvel {
namespace {

bool load(InstrumentSlot& slot, const HostOptions& options) {
  slot.setChannel(options.channel);
  INativeInstrument& instrument = slot.instrument();
  if (options.vst2) {
    if (!slot.loadPlugin(options.pluginPath, options.sampleRate)) return false;
    instrument.prepare(options.sampleRate, static_cast<int32_t>(options.blockSize));
    return true;
  }
  instrument.prepare(options.sampleRate, static_cast<int32_t>(options.blockSize));
  return slot.loadPlugin(options.pluginPath, options.sampleRate);
}

void applyPresetFile(INativeInstrument& instrument, const std::string& path) {
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    std::fseek(file, 0, SEEK_END);
    const int32_t size = static_cast<int32_t>(std::ftell(file));
    std::fseek(file, 0, SEEK_SET);
    if (size > 0) {
      std::string text(static_cast<size_t>(size), '\0');
      if (std::fread(text.data(), 1, text.size(), file) == text.size()) {
        instrument.loadSerializedState(text);
        std::printf("[corvel] preset restored from %s (%ldB)\n", path.c_str(), static_cast<long>(size));
      }
    }
    std::fclose(file);
  } else {
    std::printf("[corvel] preset file open failed: %s\n", path.c_str());
  }
  std::fflush(stdout);
}

ShmHandle* mapBlock(const HostOptions& options) {
  return options.openExisting ? shm_open(options.shmName, kShmBlockSize) : shm_create(options.shmName, kShmBlockSize);
}

int serve(ShmHandle* shm, INativeInstrument& instrument, const HostOptions& options) {
  auto& block = *static_cast<ShmBlock*>(shm_ptr(shm));
  PresetExchange presets(block, instrument, options.channel);
  presets.publishInitial();
  const ParentWatch parent(options.parentPid);
  Heartbeat heartbeat;
  if (!heartbeat.start(block.heartbeat)) {
    hostFinalLine("[corvel] heartbeat thread failed to start\n");
    shm_close(shm);
    return kExitHeartbeat;
  }
  ServiceLoop(block, instrument, presets, options, parent).run();
  instrument.closeGUI();
  endFineTimer();
  leaveApartment();
  heartbeat.stop();
  shm_close(shm);
  return 0;
}

}  // namespace

int runHost(int argc, const char* const* argv, InstrumentSlot& vst3, InstrumentSlot& vst2) {
  suppressErrorBoxes();
  watchTerminationRequests();
  const HostOptions options = parseHostOptions(argc, argv);
  if (options.shmName.empty() || options.pluginPath.empty()) {
    hostFinalLine(kUsageLine);
    return kExitUsage;
  }
  if (options.blockSize > kMaxBlockFrames) {
    hostFinalLine("[corvel] block size %u exceeds the block's %u frames\n", options.blockSize, kMaxBlockFrames);
    return kExitUsage;
  }
  enterApartment();
  beginFineTimer();
  hostLine("[corvel] pid=%lu shm=%s path=%s sr=%.0f block=%u vst2=%d ch=%u\n",
           static_cast<unsigned long>(currentProcessId()), options.shmName.c_str(), options.pluginPath.c_str(),
           options.sampleRate, options.blockSize, options.vst2 ? 1 : 0, options.channel);
  ShmHandle* shm = mapBlock(options);
  if (!shm) {
    hostFinalLine("[corvel] FAILED shm_create %s\n", options.shmName.c_str());
    return kExitSharedBlock;
  }
  armFatalReport(options.channel, shm_removal_file(shm));
  InstrumentSlot& slot = options.vst2 ? vst2 : vst3;
  if (!load(slot, options)) {
    hostFinalLine("[corvel] loadPlugin failed\n");
    shm_close(shm);  // a POSIX name outlives the process: remove the block we created
    return kExitLoad;
  }
  INativeInstrument& instrument = slot.instrument();
  gInstrument = &instrument;
  if (!options.presetFile.empty()) applyPresetFile(instrument, options.presetFile);
  if (!options.vst2) openEditorAtStartup(instrument);
  return serve(shm, instrument, options);
}

}  // namespace corvel
