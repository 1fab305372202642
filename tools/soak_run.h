// One soak: a block this tool creates, one corvel host on it (restarted
// after each QUIT it is allowed to send), the traffic of the chosen mode, the
// checks of soak_checks.h once a second, and the summary at the end. Main thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "client/child_process.h"
#include "client/session_events.h"
#include "corvel/client_block.h"
#include "tools/soak_checks.h"
#include "tools/soak_options.h"
#include "tools/soak_traffic.h"

namespace corvel {

class SoakRun {
 public:
  using Clock = std::chrono::steady_clock;

  SoakRun(const SoakOptions& options, uint64_t seed, const std::atomic<bool>& interrupted);
  // Runs to the end and prints the summary; the process exit code.
  int run();

 private:
  bool startHost();
  bool waitUntilBeating();
  void fail(const std::string& why);
  bool failed() const { return !failure.empty(); }
  bool hostEnded();
  void checkEverySecond(Clock::time_point now);
  void checkSanitizers();
  void foldGrowth();
  bool warmedUp(Clock::time_point now) const;
  Clock::duration randomPause(int lowMs, int highMs);

  // Normal mode.
  void normalStep();
  void sendMidi(const std::vector<ShmMidiEvent>& batch);
  void awaitRender();
  bool resetSinceLastLook();
  void checkLedger();
  enum class Acknowledge { kYes, kNo };
  void takeBlock(Acknowledge acknowledge = Acknowledge::kYes);
  bool serveUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  void presetRoundTrip();
  void sendCommands(const std::vector<uint32_t>& codes);
  void commandStep();
  void windDown();
  void checkLogAgainstCounts();

  // Chaos mode.
  void chaosStep();
  void observeBlocks();
  bool sampleFrontBlock();
  void probe();
  void repairAcknowledgements();
  void quitAndRestart();
  std::vector<uint32_t> chaosCodes() const;

  void finish();
  // With --host-log: the current host's whole log joins hostLogs.
  void keepLog();
  std::string failureExcerpt() const;
  // The totals with the current host's growth, where it grew most.
  SoakTotals withGrowth(SoakTotals shown) const;
  std::string summary() const;

  const SoakOptions& options;
  const std::atomic<bool>& interrupted;
  SoakRandom random;
  const std::string shmName;
  const bool display;
  std::unique_ptr<ClientBlock> block;
  std::unique_ptr<ChildProcess> host;
  bool sanitized = false;
  std::string hostLogs;  // of every host so far, for --host-log

  BlockLedger ledger;
  IdleMirror mirror;
  MidiTraffic traffic;
  HeartbeatWatch heartbeat;
  GrowthRule growth;  // of the current host
  bool growthFolded = false;  // totals hold an earlier host's growth
  SoakTotals totals;
  std::string failure;
  size_t resetsSeen = 0;
  size_t allNotesOffSent = 0;
  bool editorOpen = false;
  uint32_t lastSeen = 0;         // chaos: renderCount at the last look
  uint32_t countAtScribble = 0;  // renderCount when chaos last wrote frontIndex

  Clock::time_point started, hostStarted, nextCheck, nextProgress, nextPreset, nextCommand, nextProbe, nextQuit;
};

}  // namespace corvel
