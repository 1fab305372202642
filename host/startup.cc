#include "host/startup.h"

#include <cstdio>

#include "host/editor_window.h"
#include "host/heartbeat.h"
#include "host/host_log.h"
#include "host/host_options.h"
#include "host/preset_exchange.h"
#include "host/preset_file.h"
#include "host/service_loop.h"
#include "corvel/shm_block.h"
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

// The watchdog removes the block only if this host created it.
void armTerminationWatchdog(ShmHandle* shm, uint32_t channel) {
  char line[128];
  std::snprintf(line, sizeof line, "[corvel] termination request unanswered for %u s - forced exit ch=%u\n",
                kTerminationGraceMilliseconds / 1000, channel);
  if (startTerminationWatchdog(line, kExitUnanswered, shm_removal_file(shm)) != WatchdogStatus::kStarted)
    hostLine("[corvel] watchdog thread failed to start ch=%u\n", channel);
}

// The main thread renders, so it is the one that asks; a refusal costs only
// the guarantee, never the service.
void requestRealtimeFor(const HostOptions& options) {
  const std::string refusal = requestRealtime(options.rtPriority);
  if (refusal.empty())
    hostLine("[corvel] real-time priority %d ch=%u\n", options.rtPriority, options.channel);
  else
    hostLine("[corvel] real-time priority refused ch=%u: %s\n", options.channel, refusal.c_str());
}

ShmHandle* mapBlock(const HostOptions& options) {
  return options.openExisting ? shm_open(options.shmName, kShmBlockSize) : shm_create(options.shmName, kShmBlockSize);
}

int serve(ShmHandle* shm, INativeInstrument& instrument, const HostOptions& options) {
  auto& block = *static_cast<ShmBlock*>(shm_ptr(shm));
  PresetExchange presets(block, shm, instrument, options.channel);
  presets.publishInitial();
  const ParentWatch parent(options.parentPid);
  Heartbeat heartbeat;
  if (!heartbeat.start(block.heartbeat)) {
    hostFinalLine("[corvel] heartbeat thread failed to start\n");
    shm_close(shm);
    return kExitHeartbeat;
  }
  // Nobody else will remove a block whose creator has died.
  if (ServiceLoop(block, shm, instrument, presets, options, parent).run() == LoopEnd::kParentGone) shm_adopt(shm);
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
  const ParsedOptions parsed = parseHostOptions(argc, argv);
  if (parsed.status != OptionsStatus::kValid) {
    hostFinalLine("%s", parsed.refusal.c_str());
    return kExitUsage;
  }
  const HostOptions& options = parsed.options;
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
  armTerminationWatchdog(shm, options.channel);
  if (!load(slot, options)) {
    hostFinalLine("[corvel] loadPlugin failed\n");
    shm_close(shm);  // a POSIX name outlives the process: remove the block we created
    return kExitLoad;
  }
  INativeInstrument& instrument = slot.instrument();
  gInstrument = &instrument;
  if (!options.presetFile.empty()) applyPresetFile(instrument, options.presetFile);
  if (!options.vst2) openEditorAtStartup(instrument);
  if (options.rtPriority > 0) requestRealtimeFor(options);
  return serve(shm, instrument, options);
}

}  // namespace corvel
