#include "corvel/client_block.h"

#include <algorithm>
#include <cstring>

#include "platform/shm.h"
#include "platform/shm_wait.h"

namespace corvel {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

// The longest one sleep lasts before the field is read again: how late a
// host that never wakes anyone is noticed.
constexpr microseconds kWaitRound{1000};
// The heartbeat is nobody's wake: its watch sleeps in longer rounds.
constexpr microseconds kHeartbeatRound{10000};

}  // namespace

std::unique_ptr<ClientBlock> ClientBlock::create(const std::string& name) {
  ShmHandle* handle = shm_create(name, kShmBlockSize);
  return handle ? std::unique_ptr<ClientBlock>(new ClientBlock(handle)) : nullptr;
}

std::unique_ptr<ClientBlock> ClientBlock::attach(const std::string& name) {
  ShmHandle* handle = shm_open(name, kShmBlockSize);
  return handle ? std::unique_ptr<ClientBlock>(new ClientBlock(handle)) : nullptr;
}

ClientBlock::ClientBlock(ShmHandle* handle)
    : handle(handle), block(static_cast<ShmBlock*>(shm_ptr(handle))), lastTaken(loadAcquire(block->renderCount)) {}

ClientBlock::~ClientBlock() { remove(); }

void ClientBlock::remove() {
  shm_close(handle);
  handle = nullptr;
}

template <class Done>
bool ClientBlock::waitFor(ShmHandle* signals, const uint32_t& field, Done done, Timeout timeout,
                          microseconds round) const {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const uint32_t seen = loadAcquire(field);
    if (done(seen)) return true;
    const auto now = Clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::duration_cast<microseconds>(deadline - now) + microseconds(1);
    awaitChange(signals, WakeSide::kParent, field, seen, std::min(round, left), policy.spin);
  }
}

bool ClientBlock::waitForEmpty(const uint32_t& count, Timeout timeout) const {
  return waitFor(handle, count, [](uint32_t value) { return value == 0; }, timeout, kWaitRound);
}

void ClientBlock::wakeHost(const uint32_t& field) const {
  if (policy.wakeHost) shm_wake(handle, WakeSide::kHost, field);
}

// Commands and presets wake the host at midiCount too: that is the field an
// idle host sleeps on.
bool ClientBlock::writeMidi(const std::vector<ShmMidiEvent>& events, Timeout timeout) {
  if (!waitForEmpty(block->midiCount, timeout)) return false;
  const auto count = static_cast<uint32_t>(std::min<size_t>(events.size(), kMidiCapacity));
  std::copy_n(events.begin(), count, block->midiEvents);
  storeRelease(block->midiCount, count);
  wakeHost(block->midiCount);
  return true;
}

bool ClientBlock::sendCommands(const std::vector<uint32_t>& codes, Timeout timeout) {
  if (!waitForEmpty(block->commandCount, timeout)) return false;
  const auto count = static_cast<uint32_t>(std::min<size_t>(codes.size(), kCommandCapacity));
  for (uint32_t i = 0; i < count; ++i) block->commands[i] = ShmCommand{codes[i], {}};
  storeRelease(block->commandCount, count);
  wakeHost(block->midiCount);
  return true;
}

PresetOutcome ClientBlock::pushPreset(const std::string& text, Timeout timeout) {
  if (text.size() >= kPresetCapacity) return PresetOutcome::kTooLarge;
  if (text.empty() || !waitForEmpty(block->presetInSize, timeout)) return PresetOutcome::kPending;
  std::memcpy(block->presetIn, text.data(), text.size());
  storeRelease(block->presetInSize, static_cast<uint32_t>(text.size()));
  wakeHost(block->midiCount);
  if (!waitForEmpty(block->presetInSize, timeout)) return PresetOutcome::kPending;
  return text.size() < kSmallestPreset ? PresetOutcome::kRejected : PresetOutcome::kTaken;
}

std::string ClientBlock::readPublishedPreset() const {
  auto readOnce = [this] {
    const uint32_t size = std::min(loadAcquire(block->presetOutSize), kPresetCapacity);
    return std::string(reinterpret_cast<const char*>(block->presetOut), size);
  };
  std::string previous = readOnce();
  for (;;) {
    std::string current = readOnce();
    if (current == previous) return current;
    previous = std::move(current);
  }
}

bool ClientBlock::waitForHeartbeatStop(Timeout quiet, Timeout timeout) const {
  uint32_t last = heartbeat();
  auto lastChange = Clock::now();
  auto quietFor = [&](uint32_t beat) {
    const auto now = Clock::now();
    if (beat != last) {
      last = beat;
      lastChange = now;
    }
    return now - lastChange >= quiet;
  };
  // Without the handle it sleeps in plain timed rounds: where wakes are
  // events, it must not take one meant for a thread that waits for audio.
  return waitFor(nullptr, block->heartbeat, quietFor, timeout, kHeartbeatRound);
}

HostProgress ClientBlock::watchProgress(Timeout limit) const {
  const uint32_t rendered = renderCount();
  if (loadAcquire(block->midiCount) == 0) return HostProgress::kNothingWaiting;
  if (waitForEmpty(block->midiCount, limit) || renderCount() != rendered) return HostProgress::kMoving;
  return HostProgress::kStalled;
}

bool ClientBlock::waitForRender(uint32_t previousCount, Timeout timeout) const {
  return waitFor(handle, block->renderCount, [previousCount](uint32_t count) { return count != previousCount; },
                 timeout, kWaitRound);
}

void ClientBlock::acknowledge(uint32_t bufferIndex) {
  uint32_t& consumed = block->consumedCount[bufferIndex & 1];
  storeRelease(consumed, loadAcquire(consumed) + 1);
  wakeHost(consumed);
}

bool ClientBlock::readBlock(uint32_t frames, AudioBlock& out, Timeout timeout) {
  if (!waitForRender(lastTaken, timeout)) return false;
  out.renderCount = loadAcquire(block->renderCount);
  out.bufferIndex = loadAcquire(block->frontIndex) & 1;
  frames = std::min(frames, kMaxBlockFrames);
  out.left.assign(block->outLeft[out.bufferIndex], block->outLeft[out.bufferIndex] + frames);
  out.right.assign(block->outRight[out.bufferIndex], block->outRight[out.bufferIndex] + frames);
  acknowledge(out.bufferIndex);
  lastTaken = out.renderCount;
  return true;
}

}  // namespace corvel
