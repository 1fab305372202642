#include "corvel/session.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <thread>
#include <utility>

#include "client/child_process.h"
#include "client/session_events.h"
#include "client/session_launch.h"
#include "platform/shm_wait.h"

namespace corvel {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

// No wait sleeps longer than this before it looks whether the host process
// has ended, so a killed host is reported well within 100 ms.
constexpr milliseconds kProcessRound{10};
// Fields that have no wake of their own on every system are re-read this often.
constexpr microseconds kFieldRound{1000};
// A host that has not ended this long after QUIT or SIGTERM is killed.
constexpr milliseconds kStopLimit{3000};
constexpr milliseconds kReapLimit{5000};
constexpr int kSignalTerminate = 15;
constexpr int kSignalKill = 9;
// renderBlock queues its events into this much room without allocating.
constexpr size_t kBacklogRoom = 4096;
// The host's line after it applied (and published) a preset.
constexpr char kPresetAppliedLine[] = "[corvel] panic after preset";
// The host's line when it reset a plug-in after broken output, and idles.
constexpr char kResetLine[] = "[corvel] plug-in reset after non-finite output";
constexpr Clock::time_point kNever = Clock::time_point::max();

enum class Health { kServing, kGone, kHung };

// Channel messages, each due within the `frames` of its call. [audio] no allocation, no lock.
bool eventsFit(std::span<const MidiEvent> events, uint32_t frames) {
  return std::all_of(events.begin(), events.end(),
                     [frames](const MidiEvent& e) { return isChannelMessage(e) && e.frame < frames; });
}

bool isFailure(RenderStatus status) { return status == RenderStatus::kHostGone || status == RenderStatus::kHung; }

}  // namespace

struct Session::State {
  SessionOptions options;
  SessionError error;
  uint32_t restarts = 0;
  std::string lastPushed;     // the newest text the host took
  std::string lastPublished;  // what the last host published, read before its block went
  std::unique_ptr<ClientBlock> nameHolder;  // created the block; its removal removes the name
  std::unique_ptr<ClientBlock> block;       // the exchanges' own mapping, kept until the host has ended
  std::unique_ptr<ChildProcess> host;
  Health health = Health::kGone;
  bool failureUndescribed = false;

  // The exchange with the host, block by block.
  uint32_t taken = 0;           // renderCount of the newest block received
  int32_t unacknowledged = -1;  // its buffer while the host waits for it to be taken
  bool undelivered = false;     // that block is still the caller's to have
  bool blockDue = false;        // acknowledged (or woken by MIDI) and not yet received
  bool dropDue = false;         // the due block belongs to a renderBlock that was late
  Clock::time_point dueSince;
  bool panicPending = false;  // ALL_NOTES_OFF goes out with the next exchange
  uint64_t resetsReadTo = 0;  // host output looked through for plug-in resets the mirror followed
  IdleMirror mirror;
  EventQueue queue;
  HeldNotes notes;
  std::array<ShmMidiEvent, kMidiCapacity> batch{};
  // Blocks acknowledged before the caller had them (a preset push lets the
  // host go on), in order, blockFrames per channel each.
  std::vector<float> heldLeft, heldRight;
  size_t heldFirst = 0;
  // The newest block as render() took it, and how much of it was given out.
  std::vector<float> restLeft, restRight;
  uint32_t restFirst = 0, restEnd = 0;
  bool restFromHost = false;
  uint64_t position = 0;  // frames given to the caller so far

  // Owner thread.
  StartStatus launch(const std::string& presetText);
  StartStatus failStart(StartStatus status, const std::string& message);
  void resetExchange();
  void stop();
  void endHost();
  PushStatus push(const std::string& text);
  PushStatus pushFailed(RenderStatus status);
  void awaitPublication(uint64_t appliedFrom);
  // Whether the host logged `line` after `position`, which moves past the
  // line when it did and to the end of the output when not. Allocates.
  bool loggedSince(uint64_t& position, std::string_view line);
  void holdNewest();
  // Fills lastError() for the failure fail() noted. Owner.
  void describePendingFailure();

  // The exchange renderBlock runs on as well: [audio] no allocation, no
  // lock, and no wait past `deadline` (kLate), until the host fails.
  // A finished child is reaped on the first look. [audio]
  bool hostEnded() { return host->waitExit(milliseconds(0)).has_value(); }
  // Waits until `ready()`, sleeping through `sleep(round)`: kHostGone once
  // the process has ended, kHung from `hangAt`, kLate from `deadline`. [audio]
  template <class Ready, class Sleep>
  RenderStatus awaitHost(Ready ready, Sleep sleep, Clock::time_point hangAt, Clock::time_point deadline);
  RenderStatus awaitBlock(Clock::time_point deadline);
  RenderStatus awaitCleared(const uint32_t& field, Clock::time_point deadline);
  // One block into `left` and `right` (zeros unless kBlock); `blockEnd` is the
  // frame after it on the caller's timeline. [audio]
  RenderStatus step(float* left, float* right, uint64_t blockEnd, Clock::time_point deadline);
  RenderStatus exchange(float* left, float* right, uint64_t blockEnd, Clock::time_point deadline);
  RenderStatus sendBatch(uint64_t blockEnd, Clock::time_point deadline);
  // Writes one command unless the last is still waiting to be taken. [audio]
  bool postCommand(uint32_t code);
  RenderStatus receiveDue(Clock::time_point deadline);
  // Takes note of the newest block and mirrors the host's idle rule on it. [audio]
  void receive();
  // Lets the host have the newest block's buffer back. [audio]
  void release();
  // release(), and a block is due unless the host idles. [audio]
  void acknowledge();
  void copyNewest(float* left, float* right);  // [audio]
  bool takeHeld(float* left, float* right);          // [audio]
  // Notes a failed host; lastError() describes it when asked. [audio]
  RenderStatus fail(RenderStatus status);
};

// --- Waiting on the host -----------------------------------------------------

template <class Ready, class Sleep>
RenderStatus Session::State::awaitHost(Ready ready, Sleep sleep, Clock::time_point hangAt, Clock::time_point deadline) {
  for (;;) {
    if (ready()) return RenderStatus::kBlock;
    if (hostEnded()) return RenderStatus::kHostGone;
    const auto now = Clock::now();
    if (now >= hangAt) return RenderStatus::kHung;
    if (now >= deadline) return RenderStatus::kLate;
    const auto until = std::min({hangAt, deadline, now + kProcessRound});
    sleep(std::chrono::duration_cast<microseconds>(until - now) + microseconds(1));
  }
}

// kIdle when the host reset its plug-in instead: after a block it silenced,
// a wait of more than a round looks at its log for that.
RenderStatus Session::State::awaitBlock(Clock::time_point deadline) {
  const auto logFrom = mirror.mayBeReset() ? Clock::now() + kProcessRound : kNever;
  bool reset = false;
  auto ready = [&] {
    if (block->renderCount() != taken) return true;
    reset = Clock::now() >= logFrom && loggedSince(resetsReadTo, kResetLine);
    return reset;
  };
  const RenderStatus status = awaitHost(ready, [this](microseconds round) { block->waitForRender(taken, round); },
                                        dueSince + options.hangLimit, deadline);
  if (!reset) return status;
  mirror.hostReset();
  blockDue = dropDue = false;
  return RenderStatus::kIdle;
}

// The host clears these counts and sizes when it takes what they announce.
// Their wakes are not on every system's signals, so the sleep is short.
RenderStatus Session::State::awaitCleared(const uint32_t& field, Clock::time_point deadline) {
  return awaitHost([&field] { return loadAcquire(field) == 0; },
                   [this, &field](microseconds round) {
                     awaitChange(nullptr, WakeSide::kParent, field, loadAcquire(field), std::min(round, kFieldRound),
                                 options.spin);
                   },
                   Clock::now() + options.hangLimit, deadline);
}

RenderStatus Session::State::fail(RenderStatus status) {
  health = status == RenderStatus::kHung ? Health::kHung : Health::kGone;
  failureUndescribed = true;
  return status;
}

// Told only when asked: the texts allocate, which renderBlock may not.
void Session::State::describePendingFailure() {
  if (!std::exchange(failureUndescribed, false)) return;
  const std::string message = health == Health::kHung ? "the host rendered nothing for " +
                                                            std::to_string(options.hangLimit.count()) +
                                                            " ms while a block was due"
                                                      : "the host ended";
  error = describeFailure(message, host->waitExit(milliseconds(0)), host->output(), host->errors());
}

// --- Starting and stopping ----------------------------------------------------

void Session::State::resetExchange() {
  taken = 0;
  unacknowledged = -1;
  undelivered = blockDue = dropDue = panicPending = false;
  resetsReadTo = 0;
  mirror.reset();
  queue.clear();
  queue.reserve(kBacklogRoom);
  notes.clear();
  heldLeft.clear();
  heldRight.clear();
  heldFirst = 0;
  restLeft.assign(options.blockFrames, 0.0f);
  restRight.assign(options.blockFrames, 0.0f);
  restFirst = restEnd = 0;
}

StartStatus Session::State::failStart(StartStatus status, const std::string& message) {
  const std::optional<int> ending = host ? host->waitExit(milliseconds(0)) : std::nullopt;
  error = describeFailure(message, ending, host ? host->output() : "", host ? host->errors() : "");
  stop();
  return status;
}

StartStatus Session::State::launch(const std::string& presetText) {
  const std::string problem = optionsProblem(options);
  if (!problem.empty()) return failStart(StartStatus::kBadOptions, problem);
  if (presetText.size() >= kPresetCapacity)
    return failStart(StartStatus::kPresetRefused, "the preset text is too large");
  const std::string name = unusedBlockName();
  nameHolder = ClientBlock::create(name);
  block = nameHolder ? ClientBlock::attach(name) : nullptr;
  if (!block) return failStart(StartStatus::kNoBlock, "cannot create the shared block " + name);
  block->setWaitPolicy(WaitPolicy{true, options.spin});
  const std::string program = hostExecutable(options);
  host = ChildProcess::spawn({program, hostArguments(options, name), options.environment});
  if (!host) return failStart(StartStatus::kNoHost, "cannot start " + program);
  health = Health::kServing;
  resetExchange();
  // The host renders one block before it reads any MIDI: taken as pre-roll,
  // so that every batch lands at the start of its own block.
  dueSince = Clock::now();
  const RenderStatus first = awaitHost([this] { return block->renderCount() != 0; },
                                       [this](microseconds round) { block->waitForRender(0, round); }, kNever,
                                       dueSince + options.startLimit);
  if (first == RenderStatus::kHostGone)
    return failStart(StartStatus::kHostEnded, "the host ended before its first block");
  if (first != RenderStatus::kBlock)
    return failStart(StartStatus::kNoFirstBlock,
                     "no first block within " + std::to_string(options.startLimit.count()) + " ms");
  receive();
  if (!presetText.empty() && push(presetText) != PushStatus::kTaken)
    return failStart(StartStatus::kPresetRefused, "the host did not take the preset text");
  lastPushed = presetText;
  return StartStatus::kStarted;
}

// The name goes first: a parent killed between the host's end and its own
// must not leave a block that no living process knows of.
void Session::State::stop() {
  if (host) describePendingFailure();
  if (block) lastPublished = block->readPublishedPreset();
  nameHolder.reset();
  if (host) endHost();
  block.reset();
  host.reset();
  health = Health::kGone;
}

// VST 2 hosts read QUIT between blocks, so blocks are taken until it ends;
// VST 3 hosts take no commands and end on SIGTERM. A hung one is beyond both.
void Session::State::endHost() {
  bool quitPending = health == Health::kServing && options.vst2;
  if (health == Health::kHung) host->kill(kSignalKill);
  if (health == Health::kServing && !options.vst2) host->kill(kSignalTerminate);
  const auto giveUp = Clock::now() + kStopLimit;
  while (!hostEnded() && Clock::now() < giveUp) {
    if (quitPending && postCommand(kCommandQuit)) quitPending = false;
    if (block->renderCount() != taken) receive();
    release();
    block->waitForRender(taken, kProcessRound);
  }
  if (!hostEnded()) host->kill(kSignalKill);
  host->waitExit(kReapLimit);
}

// --- The block exchange ------------------------------------------------------

void Session::State::receive() {
  const ShmBlock& raw = block->raw();
  taken = block->renderCount();
  unacknowledged = static_cast<int32_t>(loadAcquire(raw.frontIndex) & 1);
  blockDue = false;
  mirror.blockRendered(raw.outLeft[unacknowledged], raw.outRight[unacknowledged], options.blockFrames);
}

void Session::State::release() {
  if (unacknowledged >= 0) block->acknowledge(static_cast<uint32_t>(std::exchange(unacknowledged, -1)));
}

// The host renders next unless it idles; an idle host renders once a batch woke it.
void Session::State::acknowledge() {
  release();
  if (!mirror.hostIdle()) {
    blockDue = true;
    dueSince = Clock::now();
  }
}

void Session::State::copyNewest(float* left, float* right) {
  const ShmBlock& raw = block->raw();
  std::copy_n(raw.outLeft[unacknowledged], options.blockFrames, left);
  std::copy_n(raw.outRight[unacknowledged], options.blockFrames, right);
}

// Owner only: may allocate.
void Session::State::holdNewest() {
  heldLeft.resize(heldLeft.size() + options.blockFrames);
  heldRight.resize(heldRight.size() + options.blockFrames);
  copyNewest(heldLeft.data() + heldLeft.size() - options.blockFrames,
             heldRight.data() + heldRight.size() - options.blockFrames);
}

// [audio] no allocation, no lock: clear() keeps the storage.
bool Session::State::takeHeld(float* left, float* right) {
  if (heldFirst == heldLeft.size()) return false;
  std::copy_n(heldLeft.data() + heldFirst, options.blockFrames, left);
  std::copy_n(heldRight.data() + heldFirst, options.blockFrames, right);
  heldFirst += options.blockFrames;
  if (heldFirst == heldLeft.size()) {
    heldLeft.clear();
    heldRight.clear();
    heldFirst = 0;
  }
  return true;
}

// A block the host owes is the caller's next, unless a late renderBlock gave
// up on it. kBlock once nothing is due any more (also when the host went
// idle instead); otherwise why the wait ended.
RenderStatus Session::State::receiveDue(Clock::time_point deadline) {
  if (!blockDue) return RenderStatus::kBlock;
  const RenderStatus due = awaitBlock(deadline);
  if (due == RenderStatus::kIdle) return RenderStatus::kBlock;
  if (due != RenderStatus::kBlock) return due;
  receive();
  undelivered = !std::exchange(dropDue, false);
  return RenderStatus::kBlock;
}
// MIDI goes before the acknowledgement, so the host reads it before it
// renders the next block.
RenderStatus Session::State::sendBatch(uint64_t blockEnd, Clock::time_point deadline) {
  ShmBlock& raw = block->raw();
  if (loadAcquire(raw.midiCount) != 0) {
    const RenderStatus cleared = awaitCleared(raw.midiCount, deadline);
    if (cleared != RenderStatus::kBlock) return cleared;
  }
  const uint32_t count = queue.takeBatch(blockEnd, batch.data());
  if (count > 0) {
    std::copy_n(batch.data(), count, raw.midiEvents);
    storeRelease(raw.midiCount, count);
    block->wakeHost(raw.midiCount);
    mirror.batchSent(batch.data(), count);
  }
  if (panicPending && postCommand(kCommandAllNotesOff)) panicPending = false;
  return RenderStatus::kBlock;
}

bool Session::State::postCommand(uint32_t code) {
  ShmBlock& raw = block->raw();
  if (loadAcquire(raw.commandCount) != 0) return false;
  raw.commands[0] = ShmCommand{code, {}};
  storeRelease(raw.commandCount, 1);
  block->wakeHost(raw.midiCount);
  return true;
}

// One block's worth for the caller: a held block, the newest one when the
// caller has not had it, or the next one from the host.
RenderStatus Session::State::exchange(float* left, float* right, uint64_t blockEnd, Clock::time_point deadline) {
  if (takeHeld(left, right)) return RenderStatus::kBlock;
  if (!blockDue && !undelivered && block->renderCount() != taken) {
    mirror.hostKeepsRendering();
    receive();
    undelivered = true;
  }
  const RenderStatus due = receiveDue(deadline);
  if (due != RenderStatus::kBlock) return due;
  if (std::exchange(undelivered, false)) {
    copyNewest(left, right);
    return RenderStatus::kBlock;
  }
  const RenderStatus sent = sendBatch(blockEnd, deadline);
  if (sent != RenderStatus::kBlock) return sent;
  acknowledge();
  // Nothing is awaited from an idle host, so only its process tells of its end.
  if (!blockDue) return hostEnded() ? RenderStatus::kHostGone : RenderStatus::kIdle;
  const RenderStatus next = awaitBlock(deadline);
  if (next == RenderStatus::kLate) dropDue = true;
  if (next != RenderStatus::kBlock) return next;
  receive();
  copyNewest(left, right);
  return RenderStatus::kBlock;
}

RenderStatus Session::State::step(float* left, float* right, uint64_t blockEnd, Clock::time_point deadline) {
  RenderStatus status = health == Health::kServing ? exchange(left, right, blockEnd, deadline)
                        : health == Health::kHung  ? RenderStatus::kHung
                                                   : RenderStatus::kHostGone;
  if (isFailure(status) && health == Health::kServing) status = fail(status);
  if (status != RenderStatus::kBlock) {
    std::fill_n(left, options.blockFrames, 0.0f);
    std::fill_n(right, options.blockFrames, 0.0f);
  }
  return status;
}

// --- Presets -----------------------------------------------------------------

PushStatus Session::State::pushFailed(RenderStatus status) {
  if (isFailure(status) && health == Health::kServing) fail(status);
  return PushStatus::kHostGone;
}

// The host takes a preset at the top of a pass, so the block it waits to
// have taken is acknowledged (and kept for the caller) to let it get there.
PushStatus Session::State::push(const std::string& text) {
  if (text.size() >= kPresetCapacity) return PushStatus::kTooLarge;
  if (!block) return PushStatus::kNotRunning;
  if (health != Health::kServing) return PushStatus::kHostGone;
  ShmBlock& raw = block->raw();
  const RenderStatus due = receiveDue(kNever);
  if (due != RenderStatus::kBlock) return pushFailed(due);
  if (std::exchange(undelivered, false)) holdNewest();
  const RenderStatus free = awaitCleared(raw.presetInSize, kNever);
  if (free != RenderStatus::kBlock) return pushFailed(free);
  const uint64_t appliedFrom = host->outputEnd();
  std::memcpy(raw.presetIn, text.data(), text.size());
  storeRelease(raw.presetInSize, static_cast<uint32_t>(text.size()));
  block->wakeHost(raw.midiCount);
  acknowledge();
  const RenderStatus taken = awaitCleared(raw.presetInSize, kNever);
  if (taken != RenderStatus::kBlock) return pushFailed(taken);
  const bool blockFollows = blockDue;
  const RenderStatus next = receiveDue(kNever);
  if (next != RenderStatus::kBlock) return pushFailed(next);
  if (!blockFollows && text.size() >= kSmallestPreset) awaitPublication(appliedFrom);
  if (text.size() < kSmallestPreset) return PushStatus::kRejected;
  lastPushed = text;
  return PushStatus::kTaken;
}

// An idle host renders no block after it applied a preset, so its log line
// tells when the text it publishes is the applied one. Bounded by hangLimit.
void Session::State::awaitPublication(uint64_t appliedFrom) {
  const auto giveUp = Clock::now() + options.hangLimit;
  while (!loggedSince(appliedFrom, kPresetAppliedLine) && !hostEnded() && Clock::now() < giveUp)
    std::this_thread::sleep_for(kFieldRound);
}

// Each look starts a line's length early, so a line the host was still
// writing at the last look is found whole.
bool Session::State::loggedSince(uint64_t& position, std::string_view line) {
  uint64_t readTo = position - std::min<uint64_t>(position, line.size() - 1);
  const std::string text = host->outputSince(readTo);
  const size_t at = text.find(line);
  position = at == std::string::npos ? readTo : readTo - text.size() + at + line.size();
  return at != std::string::npos;
}

// --- Session -------------------------------------------------------------------

Session::Session() : state(std::make_unique<State>()) {}

Session::~Session() { stop(); }

StartStatus Session::start(const SessionOptions& options) {
  state->stop();
  state->options = options;
  state->error = {};
  state->restarts = 0;
  state->lastPublished.clear();
  state->position = 0;
  return state->launch(options.presetText);
}

RenderStatus Session::render(std::span<const MidiEvent> events, uint32_t frames, AudioSink sink) {
  State& s = *state;
  if (!eventsFit(events, frames) || (frames > 0 && (!sink.left || !sink.right))) return RenderStatus::kBadArgument;
  if (!s.block) return RenderStatus::kNotRunning;
  s.queue.add(events, s.position);
  for (const MidiEvent& event : events) s.notes.track(event);
  bool fromHost = false;
  for (uint32_t done = 0; done < frames;) {
    if (s.restFirst == s.restEnd) {
      const uint64_t blockEnd = s.position + done + s.options.blockFrames;
      const RenderStatus status = s.step(s.restLeft.data(), s.restRight.data(), blockEnd, kNever);
      if (isFailure(status)) {
        std::fill(sink.left + done, sink.left + frames, 0.0f);
        std::fill(sink.right + done, sink.right + frames, 0.0f);
        s.position += frames;
        if (s.options.restartAutomatically) restart();
        return status;
      }
      s.restFirst = 0;
      s.restEnd = s.options.blockFrames;
      s.restFromHost = status == RenderStatus::kBlock;
    }
    const uint32_t n = std::min(frames - done, s.restEnd - s.restFirst);
    std::copy_n(s.restLeft.data() + s.restFirst, n, sink.left + done);
    std::copy_n(s.restRight.data() + s.restFirst, n, sink.right + done);
    fromHost = fromHost || s.restFromHost;
    s.restFirst += n;
    done += n;
  }
  s.position += frames;
  return fromHost ? RenderStatus::kBlock : RenderStatus::kIdle;
}

// Whole blocks only: frames render() kept from its last block are dropped.
RenderStatus Session::renderBlock(std::span<const MidiEvent> events, AudioSink sink,
                                  std::chrono::steady_clock::time_point deadline) {
  State& s = *state;
  const uint32_t frames = s.options.blockFrames;
  if (!eventsFit(events, frames) || !sink.left || !sink.right) return RenderStatus::kBadArgument;
  if (!s.block) return RenderStatus::kNotRunning;
  if (!s.queue.tryAdd(events, s.position)) return RenderStatus::kBadArgument;
  for (const MidiEvent& event : events) s.notes.track(event);
  s.restFirst = s.restEnd;
  const RenderStatus status = s.step(sink.left, sink.right, s.position + frames, deadline);
  s.position += frames;
  return status;
}

PushStatus Session::pushPreset(const std::string& text) { return state->push(text); }

std::string Session::preset() const {
  return state->block ? state->block->readPublishedPreset() : state->lastPublished;
}

bool Session::savePreset(const std::string& path) const {
  const std::string text = preset();
  if (text.empty()) return false;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.close();
  return !file.fail();
}

PushStatus Session::loadPreset(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  if (!file.is_open() || file.bad()) return PushStatus::kRejected;
  return pushPreset(text);
}

// VST 2 hosts take the panic as a command between blocks; VST 3 hosts take
// no commands, so the session plays the note-offs itself.
void Session::allNotesOff() {
  State& s = *state;
  if (!s.block) return;
  if (s.options.vst2) {
    s.panicPending = true;
    return;
  }
  const std::vector<MidiEvent> offs = s.notes.panic();
  s.queue.add(offs, s.position);
}

void Session::stop() { state->stop(); }

StartStatus Session::restart() {
  State& s = *state;
  s.stop();  // keeps what the host published last
  const StartStatus status = s.launch(s.lastPublished.empty() ? s.lastPushed : s.lastPublished);
  if (status == StartStatus::kStarted) ++s.restarts;
  return status;
}

bool Session::running() const {
  return state->host && state->health == Health::kServing && !state->hostEnded();
}

const SessionError& Session::lastError() const {
  if (state->host) state->describePendingFailure();
  return state->error;
}

const SessionOptions& Session::options() const { return state->options; }

uint32_t Session::restarts() const { return state->restarts; }

unsigned long Session::hostProcessId() const { return state->host ? state->host->pid() : 0; }

}  // namespace corvel
