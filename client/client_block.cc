#include "client/client_block.h"

#include <algorithm>
#include <cstring>

#include "client/wait_until.h"
#include "platform/shm.h"

namespace corvel {

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

bool ClientBlock::writeMidi(const std::vector<ShmMidiEvent>& events, Timeout timeout) {
  if (!waitUntil([&] { return loadAcquire(block->midiCount) == 0; }, timeout)) return false;
  const auto count = static_cast<uint32_t>(std::min<size_t>(events.size(), kMidiCapacity));
  std::copy_n(events.begin(), count, block->midiEvents);
  storeRelease(block->midiCount, count);
  return true;
}

bool ClientBlock::sendCommands(const std::vector<uint32_t>& codes, Timeout timeout) {
  if (!waitUntil([&] { return loadAcquire(block->commandCount) == 0; }, timeout)) return false;
  const auto count = static_cast<uint32_t>(std::min<size_t>(codes.size(), kCommandCapacity));
  for (uint32_t i = 0; i < count; ++i) block->commands[i] = ShmCommand{codes[i], {}};
  storeRelease(block->commandCount, count);
  return true;
}

PresetOutcome ClientBlock::pushPreset(const std::string& text, Timeout timeout) {
  if (text.empty() || text.size() > kPresetCapacity) return PresetOutcome::kPending;
  if (!waitUntil([&] { return loadAcquire(block->presetInSize) == 0; }, timeout)) return PresetOutcome::kPending;
  std::memcpy(block->presetIn, text.data(), text.size());
  storeRelease(block->presetInSize, static_cast<uint32_t>(text.size()));
  if (!waitUntil([&] { return loadAcquire(block->presetInSize) == 0; }, timeout)) return PresetOutcome::kPending;
  // The host treats anything under 100 bytes as a stub and drops it.
  return text.size() < 100 ? PresetOutcome::kRejected : PresetOutcome::kTaken;
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
  auto lastChange = std::chrono::steady_clock::now();
  return waitUntil(
      [&] {
        const auto now = std::chrono::steady_clock::now();
        if (const uint32_t beat = heartbeat(); beat != last) {
          last = beat;
          lastChange = now;
        }
        return now - lastChange >= quiet;
      },
      timeout);
}

bool ClientBlock::waitForRender(uint32_t previousCount, Timeout timeout) const {
  return waitUntil([&] { return loadAcquire(block->renderCount) != previousCount; }, timeout);
}

void ClientBlock::acknowledge(uint32_t bufferIndex) {
  uint32_t& consumed = block->consumedCount[bufferIndex & 1];
  storeRelease(consumed, loadAcquire(consumed) + 1);
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
