// A zeroed block, a recording instrument and the host pieces around them,
// for in-process tests of the loop and the preset exchange. Main thread.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/preset_exchange.h"
#include "host/service_loop.h"
#include "instrument/recording_instrument.h"

namespace corvel {

struct HostFixture {
  explicit HostFixture(HostOptions hostOptions = {}) : options(std::move(hostOptions)) {
    // Acknowledged far ahead, so a pass never waits for a parent.
    block->consumedCount[0] = block->consumedCount[1] = 1u << 30;
  }

  void sendMidi(std::vector<ShmMidiEvent> events) {
    std::copy(events.begin(), events.end(), block->midiEvents);
    block->midiCount = static_cast<uint32_t>(events.size());
  }

  void sendPreset(const std::string& text, uint32_t size) {
    std::copy(text.begin(), text.end(), block->presetIn);
    block->presetInSize = size;
  }

  std::string published() const {
    return std::string(reinterpret_cast<const char*>(block->presetOut), block->presetOutSize);
  }

  // Calls recorded since the last take.
  std::vector<std::string> takeCalls() { return std::exchange(instrument.calls, {}); }

  HostOptions options;
  std::unique_ptr<ShmBlock> block = std::make_unique<ShmBlock>();
  RecordingInstrument instrument;
  PresetExchange presets{*block, nullptr, instrument, options.channel};
  ParentWatch parent{0};
  ServiceLoop loop{*block, nullptr, instrument, presets, options, parent};
};

inline ShmMidiEvent midi(uint8_t type, uint8_t channel, uint8_t data1, uint8_t data2 = 0, uint8_t value = 0,
                         uint8_t valueHigh = 0) {
  return ShmMidiEvent{type, channel, data1, data2, value, valueHigh, {}};
}

}  // namespace corvel
