#include "host/preset_exchange.h"

#include <cstring>

#include "host/host_log.h"
#include "platform/shm_wait.h"

namespace corvel {

PresetExchange::PresetExchange(ShmBlock& block, ShmHandle* signals, INativeInstrument& instrument, uint32_t channel)
    : block(block), signals(signals), instrument(instrument), channel(channel) {
  incoming.reserve(kPresetCapacity);
}

std::string PresetExchange::captured() {
  instrument.captureState();
  return instrument.getSerializedState();
}

bool PresetExchange::publishable(const std::string& text) const {
  return !text.empty() && text.size() < kPresetCapacity;
}

void PresetExchange::publish(const std::string& text) {
  std::memcpy(block.presetOut, text.data(), text.size());
  storeAndWake(signals, WakeSide::kParent, block.presetOutSize, static_cast<uint32_t>(text.size()));
  published = text;
}

void PresetExchange::publishInitial() {
  const std::string text = captured();
  if (publishable(text)) {
    publish(text);
    hostLine("[corvel] initial preset published ch=%u (%uB)\n", channel, loadAcquire(block.presetOutSize));
  }
  panic();
}

void PresetExchange::panic() {
  instrument.controlChange(0, 64, 0);
  instrument.controlChange(0, 123, 0);
  for (uint32_t note = 0; note < 128; ++note) instrument.noteOff(0, note, 0);
  hostLine("[corvel] panic after preset ch=%u\n", channel);
  std::string baseline = captured();
  if (!baseline.empty()) published = std::move(baseline);
}

void PresetExchange::takeIncoming() {
  const uint32_t size = loadAcquire(block.presetInSize);
  if (size == 0 || size >= kPresetCapacity) return;
  if (size < kSmallestPreset) {
    hostLine("[corvel] preset rejected ch=%u (stub %uB)\n", channel, size);
    clearSize();
    return;
  }
  incoming.assign(reinterpret_cast<const char*>(block.presetIn), size);
  clearSize();
  instrument.loadSerializedState(incoming);
  hostLine("[corvel] preset applied from SHM ch=%u (%uB)\n", channel, size);
  const std::string text = captured();
  if (publishable(text)) publish(text);
  panic();
}

// The size back at 0 tells a waiting parent its text was taken or rejected.
void PresetExchange::clearSize() { storeAndWake(signals, WakeSide::kParent, block.presetInSize, 0); }

void PresetExchange::republishIfChanged() {
  const std::string text = captured();
  if (!publishable(text) || text == published) return;
  publish(text);
  hostLine("[corvel] preset republished ch=%u (%uB)\n", channel, loadAcquire(block.presetOutSize));
}

}  // namespace corvel
