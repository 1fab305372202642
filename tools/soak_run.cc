#include "tools/soak_run.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "corvel/block_scan.h"
#include "tools/beside_this_tool.h"
#include "tools/soak_probe.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartLimit = 60s;     // loading a plug-in under a sanitizer is slow
constexpr auto kRenderLimit = 10s;    // a block the idle rule says is due
constexpr auto kFieldLimit = 10s;     // a count or size the host must clear
constexpr auto kProbeLimit = 5s;      // a chaos probe's batch, then its block
constexpr auto kWindDownLimit = 5s;   // for the last notes' tails to fade
constexpr auto kMinimumWarmUp = 5s;
constexpr auto kProgressInterval = 10s;
constexpr size_t kLogLinesOnFailure = 20;
constexpr size_t kReportLinesOnFailure = 60;
// Far from wrapping under the acknowledgements that follow.
constexpr uint32_t kEverythingTaken = 0xF0000000u;

const char kResetLine[] = "[corvel] plug-in reset after non-finite output";
const char kPresetAppliedLine[] = "[corvel] preset applied from SHM ch=";
const char kAllNotesOffLine[] = "[corvel] ALL_NOTES_OFF ch=";

SoakRun::Clock::duration secondsOf(double seconds) {
  return std::chrono::duration_cast<SoakRun::Clock::duration>(std::chrono::duration<double>(seconds));
}

// ChildProcess gives a signal that ended the process as its negative.
std::string exitOf(int code) {
  return code < 0 ? "died of signal " + std::to_string(-code) : "ended with exit code " + std::to_string(code);
}

std::vector<std::string> hostArguments(const SoakOptions& o, const std::string& shm) {
  std::vector<std::string> args{"--shm",     shm,
                                "--path",    o.plugin,
                                "--sr",      std::to_string(o.sampleRate),
                                "--block",   std::to_string(o.block),
                                "--parent",  std::to_string(getpid()),
                                "--spin-us", std::to_string(o.spinMicroseconds),
                                "--open"};
  if (o.vst2) args.push_back("--vst2");
  return args;
}

}  // namespace

SoakRun::SoakRun(const SoakOptions& options, uint64_t seed, const std::atomic<bool>& interrupted)
    : options(options),
      interrupted(interrupted),
      random(seed),
      shmName("corvel-soak-" + std::to_string(getpid())),
      display(std::getenv("DISPLAY") && *std::getenv("DISPLAY")) {}

int SoakRun::run() {
  block = ClientBlock::create(shmName);
  if (!block) {
    std::fprintf(stderr, "corvel-soak: cannot create shared block %s\n", shmName.c_str());
    return 1;
  }
  block->setWaitPolicy(WaitPolicy{true, std::chrono::microseconds(options.spinMicroseconds)});
  ledger = BlockLedger(block->renderCount());
  lastSeen = block->renderCount();
  started = Clock::now();
  const auto deadline = started + secondsOf(options.seconds);
  if (startHost()) {
    nextCheck = nextProgress = nextPreset = nextCommand = nextProbe = started;
    nextProgress += kProgressInterval;
    nextQuit = started + randomPause(1000, 3000);
    while (!failed() && !interrupted && Clock::now() < deadline) {
      options.chaos ? chaosStep() : normalStep();
      checkEverySecond(Clock::now());
    }
  }
  // An interrupt reaches the host too: its exit is no finding of the soak.
  if (interrupted) failure = "interrupted";
  finish();
  return failed() ? 1 : 0;
}

bool SoakRun::startHost() {
  const std::string path = options.host.empty() ? besideThisTool("corvel") : options.host;
  host = ChildProcess::spawn({path, hostArguments(options, shmName), {}});
  if (!host) {
    fail("cannot start " + path);
    return false;
  }
  hostStarted = Clock::now();
  growth = GrowthRule();
  heartbeat.restart();
  resetsSeen = 0;
  if (!waitUntilBeating()) return false;
  sanitized = runsUnderAddressSanitizer(host->pid());
  return true;
}

// The heartbeat starts with the service loop, after the plug-in has loaded.
// It wakes nobody, so it is looked at in short rounds.
bool SoakRun::waitUntilBeating() {
  const uint32_t before = block->heartbeat();
  const auto limit = Clock::now() + kStartLimit;
  while (block->heartbeat() == before) {
    if (hostEnded()) return false;
    if (Clock::now() > limit) {
      fail("the host did not start serving");
      return false;
    }
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

void SoakRun::fail(const std::string& why) {
  if (failure.empty()) failure = why;
}

bool SoakRun::hostEnded() {
  const auto code = host->waitExit(0ms);
  if (code) fail("the host " + exitOf(*code));
  return code.has_value();
}

// The first host warms up for a tenth of the run (at least 5 s); a
// restarted one for 5 s, as its run is short.
bool SoakRun::warmedUp(Clock::time_point now) const {
  const bool firstHost = totals.restarts == 0;
  const auto warmUp = firstHost ? std::max<Clock::duration>(kMinimumWarmUp, secondsOf(options.seconds / 10))
                                : Clock::duration(kMinimumWarmUp);
  return now - hostStarted >= warmUp;
}

SoakRun::Clock::duration SoakRun::randomPause(int lowMs, int highMs) {
  return std::chrono::milliseconds(std::uniform_int_distribution<int>(lowMs, highMs)(random));
}

void SoakRun::checkEverySecond(Clock::time_point now) {
  if (now < nextCheck) return;
  nextCheck = now + 1s;
  if (hostEnded()) return;
  if (heartbeat.stalled(block->heartbeat(), now)) fail("the heartbeat stood still for 2 s");
  growth.sample(probeResources(host->pid()), warmedUp(now));
  checkSanitizers();
  if (now >= nextProgress && (options.verbose || isatty(STDERR_FILENO))) {
    nextProgress = now + kProgressInterval;
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - started).count();
    std::fprintf(stderr, "corvel-soak: %lld s, %s\n", static_cast<long long>(elapsed), summary().c_str());
  }
}

void SoakRun::checkSanitizers() {
  const std::string report = sanitizerReport(host->errors());
  if (!report.empty()) fail("sanitizer: " + report);
}

// The figures are those of the host that grew most.
void SoakRun::foldGrowth() {
  if (!growth.hasBase()) return;
  totals = withGrowth(totals);
  growthFolded = true;
  switch (growth.verdict(!sanitized)) {
    case GrowthVerdict::kRssUnbounded:
      fail("resident memory grew without bound (+" + std::to_string(growth.rssGrowthKiB()) + " KiB)");
      break;
    case GrowthVerdict::kFdsUnbounded:
      fail("open descriptors grew (+" + std::to_string(growth.fdGrowth()) + ")");
      break;
    case GrowthVerdict::kFlat:
      break;
  }
}

// ---- normal mode ----

void SoakRun::normalStep() {
  const auto batch = traffic.nextBatch(random);
  if (!batch.empty()) sendMidi(batch);
  const auto now = Clock::now();
  if (now >= nextPreset) {
    presetRoundTrip();
    nextPreset = now + randomPause(500, 3000);
  }
  if (options.vst2 && now >= nextCommand) {
    commandStep();
    nextCommand = now + randomPause(500, 3000);
  }
  if (!mirror.hostIdle()) return awaitRender();
  // The host sleeps: let time pass, taking any block it renders all the same
  // (an open editor keeps it rendering).
  if (block->waitForRender(ledger.lastCount(), std::chrono::duration_cast<Timeout>(randomPause(1, 10))))
    takeBlock();
}

void SoakRun::sendMidi(const std::vector<ShmMidiEvent>& batch) {
  ShmBlock& raw = block->raw();
  if (!serveUntil([&] { return loadAcquire(raw.midiCount) == 0; }, kFieldLimit))
    return fail("the host stopped taking MIDI");
  std::copy(batch.begin(), batch.end(), raw.midiEvents);
  storeRelease(raw.midiCount, static_cast<uint32_t>(batch.size()));
  block->wakeHost(raw.midiCount);
  mirror.batchSent(batch.data(), static_cast<uint32_t>(batch.size()));
}

// The idle rule says a block is due. A plug-in reset (after broken output)
// makes the host forget its notes and idle: the mirror follows it.
void SoakRun::awaitRender() {
  const auto limit = Clock::now() + kRenderLimit;
  while (!failed()) {
    if (block->waitForRender(ledger.lastCount(), 100ms)) return takeBlock();
    if (hostEnded()) return;
    if (resetSinceLastLook()) {
      mirror.hostReset();
      return;
    }
    if (Clock::now() > limit) return fail("the host rendered no block though one was due");
  }
}

void SoakRun::checkLedger() {
  if (ledger.lost() > 0) fail("the host published " + std::to_string(ledger.lost()) + " block(s) that were not taken");
}

bool SoakRun::resetSinceLastLook() {
  const size_t resets = occurrences(host->output(), kResetLine);
  const bool more = resets > resetsSeen;
  resetsSeen = resets;
  return more;
}

void SoakRun::takeBlock(Acknowledge acknowledge) {
  const ShmBlock& raw = block->raw();
  const uint32_t count = block->renderCount();
  const uint32_t buffer = loadAcquire(raw.frontIndex) & 1;
  const BlockScan scan = scanBlock(raw.outLeft[buffer], raw.outRight[buffer], options.block);
  ledger.taken(count);
  totals.blocks = ledger.blocks();
  if (!scan.finite) fail("block " + std::to_string(count) + " holds a non-finite sample");
  checkLedger();
  mirror.blockRendered(raw.outLeft[buffer], raw.outRight[buffer], options.block);
  if (acknowledge == Acknowledge::kYes) block->acknowledge(buffer);
}

// Waits for a field while taking every block the host publishes meanwhile,
// so a host waiting for its acknowledgement gets to the field.
bool SoakRun::serveUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto limit = Clock::now() + timeout;
  while (!done()) {
    if (failed() || hostEnded() || Clock::now() > limit) return false;
    if (block->renderCount() != ledger.lastCount()) takeBlock();
    else block->waitForRender(ledger.lastCount(), 1ms);
  }
  return true;
}

// The published text goes back in; the host must take it (and says so in its log).
void SoakRun::presetRoundTrip() {
  const std::string text = block->readPublishedPreset();
  if (text.size() < kSmallestPreset) return;
  ShmBlock& raw = block->raw();
  auto empty = [&] { return loadAcquire(raw.presetInSize) == 0; };
  if (!serveUntil(empty, kFieldLimit)) return fail("the host left a preset untaken");
  std::memcpy(raw.presetIn, text.data(), text.size());
  storeRelease(raw.presetInSize, static_cast<uint32_t>(text.size()));
  block->wakeHost(raw.midiCount);
  if (!serveUntil(empty, kFieldLimit))
    return fail("the host did not take a preset of " + std::to_string(text.size()) + " B");
  ++totals.presets;
}

void SoakRun::sendCommands(const std::vector<uint32_t>& codes) {
  ShmBlock& raw = block->raw();
  auto empty = [&] { return loadAcquire(raw.commandCount) == 0; };
  if (!serveUntil(empty, kFieldLimit)) return fail("the host left commands untaken");
  for (size_t i = 0; i < codes.size(); ++i) raw.commands[i].code = codes[i];
  storeRelease(raw.commandCount, static_cast<uint32_t>(codes.size()));
  block->wakeHost(raw.midiCount);
  if (!serveUntil(empty, kFieldLimit)) return fail("the host did not take a command batch");
  totals.commands += codes.size();
}

// The editor is opened only where there is a display (without one some
// plug-ins end the process in their editor call). The first command opens it
// during the warm-up, so the display connection it keeps is in the base.
void SoakRun::commandStep() {
  std::vector<uint32_t> codes;
  if (display) {
    codes.push_back(editorOpen ? kCommandCloseGui : kCommandOpenGui);
    editorOpen = !editorOpen;
  }
  if (!display || std::bernoulli_distribution(0.5)(random)) {
    codes.push_back(kCommandAllNotesOff);
    ++allNotesOffSent;
  }
  sendCommands(codes);
}

// Every note ends and the editor closes. A host that falls idle must have
// counted no block beyond the last one taken; one that keeps rendering (a
// long tail) is left waiting for the acknowledgement of a last block taken,
// so its count holds still.
void SoakRun::windDown() {
  if (traffic.notesSounding() > 0) sendMidi(traffic.releaseAll());
  if (editorOpen) sendCommands({kCommandCloseGui});
  editorOpen = false;
  const auto limit = Clock::now() + kWindDownLimit;
  while (!failed() && !mirror.hostIdle() && Clock::now() < limit) awaitRender();
  if (failed()) return;
  if (mirror.hostIdle()) serveUntil([] { return false; }, 300ms);
  else if (block->waitForRender(ledger.lastCount(), kRenderLimit)) takeBlock(Acknowledge::kNo);
  if (failed()) return;
  ledger.settle(block->renderCount());
  checkLedger();
}

void SoakRun::checkLogAgainstCounts() {
  const std::string log = host->output();
  const size_t applied = occurrences(log, kPresetAppliedLine);
  if (applied != totals.presets)
    fail("the host applied " + std::to_string(applied) + " of " + std::to_string(totals.presets) + " presets");
  const size_t panics = occurrences(log, kAllNotesOffLine);
  if (panics != allNotesOffSent)
    fail("the host answered " + std::to_string(panics) + " of " + std::to_string(allNotesOffSent) + " ALL_NOTES_OFF");
}

// ---- chaos mode ----

std::vector<uint32_t> SoakRun::chaosCodes() const {
  if (display) return {kCommandAllNotesOff, kCommandOpenGui, kCommandCloseGui};
  return {kCommandAllNotesOff};
}

void SoakRun::chaosStep() {
  ShmBlock& raw = block->raw();
  switch (std::uniform_int_distribution<int>(0, 4)(random)) {
    case 0:
      chaos::writeMidi(raw, random);
      break;
    case 1: {
      // Only a VST 2 host reads commands: the count is of what it was given.
      const uint32_t count = chaos::writeCommands(raw, random, chaosCodes());
      if (options.vst2) totals.commands += std::min(count, kCommandCapacity);
      break;
    }
    case 2:
      chaos::writePreset(raw, random);
      ++totals.presets;
      break;
    case 3:
      chaos::scribbleIndices(raw, random);
      countAtScribble = block->renderCount();
      block->wakeHost(raw.consumedCount[0]);
      block->wakeHost(raw.consumedCount[1]);
      break;
    default: {
      // Valid records, announced whether or not the last batch was taken.
      const auto batch = traffic.nextBatch(random);
      std::copy(batch.begin(), batch.end(), raw.midiEvents);
      storeRelease(raw.midiCount, static_cast<uint32_t>(batch.size()));
    }
  }
  block->wakeHost(raw.midiCount);
  block->waitForRender(lastSeen, 1ms);
  observeBlocks();
  const auto now = Clock::now();
  if (now >= nextProbe) {
    probe();
    nextProbe = now + 1s;
  }
  if (options.allowQuit && now >= nextQuit) {
    quitAndRestart();
    nextQuit = Clock::now() + randomPause(2000, 10000);
  }
  if (!failed()) hostEnded();
}

// Counts the blocks published since the last look and checks the newest,
// unless the host may be writing into the buffer frontIndex names.
void SoakRun::observeBlocks() {
  const uint32_t count = block->renderCount();
  if (count == lastSeen) return;
  totals.blocks += static_cast<uint32_t>(count - lastSeen);
  lastSeen = count;
  if (!sampleFrontBlock()) return;
  block->acknowledge(loadAcquire(block->raw().frontIndex));
}

// A frontIndex chaos wrote names a buffer the host may still be rendering
// into until its next block; the samples count once the count and index held
// still around the read.
bool SoakRun::sampleFrontBlock() {
  const ShmBlock& raw = block->raw();
  const uint32_t count = block->renderCount();
  const uint32_t front = loadAcquire(raw.frontIndex);
  if (count == countAtScribble) return false;
  const BlockScan scan = scanBlock(raw.outLeft[front & 1], raw.outRight[front & 1], options.block);
  if (block->renderCount() != count || loadAcquire(raw.frontIndex) != front) return false;
  if (!scan.finite) fail("block " + std::to_string(count) + " holds a non-finite sample");
  return true;
}

// The host must still serve: with the acknowledgements repaired, one valid
// note must be taken and answered with a block.
void SoakRun::probe() {
  repairAcknowledgements();
  const uint32_t before = block->renderCount();
  const ShmMidiEvent note{kMidiNoteOn, 0, 60, 100, 0, 0, {}};
  const bool answered = block->writeMidi({note}, kProbeLimit) && block->waitForRender(before, kProbeLimit);
  if (!answered && !hostEnded()) {
    ++totals.lost;
    if (options.verbose) std::fprintf(stderr, "corvel-soak: a probe went unanswered\n");
  }
  observeBlocks();
}

// Far ahead of anything the host produced, so it waits for no block.
void SoakRun::repairAcknowledgements() {
  ShmBlock& raw = block->raw();
  for (uint32_t& consumed : raw.consumedCount) {
    storeRelease(consumed, kEverythingTaken);
    block->wakeHost(consumed);
  }
}

// A host waiting for an acknowledgement reads no commands: repaired first.
void SoakRun::quitAndRestart() {
  repairAcknowledgements();
  // Written over a batch the host is still reading, a QUIT could be cleared
  // unseen: like any parent, wait for the scribbled count to be taken first.
  if (!block->sendCommands({kCommandQuit}, 5s)) return fail("the host did not take the earlier commands before QUIT");
  ++totals.commands;
  const auto code = host->waitExit(10s);
  if (!code) return fail("the host did not end after QUIT");
  if (*code != 0) return fail("the host " + exitOf(*code) + " after QUIT");
  checkSanitizers();
  foldGrowth();
  keepLog();
  ++totals.restarts;
  if (!failed()) startHost();
}

// ---- the end ----

void SoakRun::finish() {
  if (host && !hostEnded()) {
    if (!options.chaos && !failed()) windDown();
    growth.sample(probeResources(host->pid()), warmedUp(Clock::now()));
    block->remove();  // before the host ends, so no moment leaves it unowned
    host->kill(SIGTERM);
    const auto code = host->waitExit(10s);
    // What a sanitizer says at exit (leaks) explains an exit code it set.
    checkSanitizers();
    if (!code) fail("the host did not end on SIGTERM");
    else if (*code != 0) fail("the host " + exitOf(*code) + " on SIGTERM");
  }
  if (host) {
    checkSanitizers();
    foldGrowth();
    if (!options.chaos) checkLogAgainstCounts();
    keepLog();
  }
  if (options.chaos && totals.lost > 0) fail(std::to_string(totals.lost) + " probe(s) went unanswered");
  block->remove();
  if (!options.hostLog.empty()) std::ofstream(options.hostLog, std::ios::binary) << hostLogs;
  if (failed() && host) std::printf("corvel-soak: the host's last log lines:\n%s", failureExcerpt().c_str());
  if (failed()) std::printf("corvel-soak: FAILED: %s\n", failure.c_str());
  std::printf("%s\n", summary().c_str());
}

void SoakRun::keepLog() {
  if (!options.hostLog.empty()) hostLogs += host->output() + host->errors();
}

// A sanitizer's report from its first line on; otherwise the log's last lines.
std::string SoakRun::failureExcerpt() const {
  const std::string errors = host->errors();
  const std::string report = sanitizerReport(errors);
  if (report.empty()) return lastLines(host->output() + errors, kLogLinesOnFailure);
  return firstLines(errors.substr(errors.find(report)), kReportLinesOnFailure);
}

SoakTotals SoakRun::withGrowth(SoakTotals shown) const {
  if (!growth.hasBase()) return shown;
  shown.rssGrowthKiB = growthFolded ? std::max(shown.rssGrowthKiB, growth.rssGrowthKiB()) : growth.rssGrowthKiB();
  shown.fdGrowth = growthFolded ? std::max(shown.fdGrowth, growth.fdGrowth()) : growth.fdGrowth();
  return shown;
}

std::string SoakRun::summary() const {
  SoakTotals shown = withGrowth(totals);
  if (!options.chaos) shown.lost += ledger.lost();
  return summaryLine(shown);
}

}  // namespace corvel
