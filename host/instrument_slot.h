// The start-up's view of one adapter before it is driven through the
// instrument interface: loading is not part of that interface. Main thread.
#pragma once

#include <cstdint>
#include <string>

#include "instrument/native_instrument.h"

namespace corvel {

class InstrumentSlot {
 public:
  virtual ~InstrumentSlot() = default;
  virtual void setChannel(uint32_t channel) = 0;
  virtual bool loadPlugin(const std::string& path, double sampleRate) = 0;
  virtual INativeInstrument& instrument() = 0;
};

// Wraps any adapter type with setChannel and loadPlugin of its own.
template <class Adapter>
class AdapterSlot final : public InstrumentSlot {
 public:
  void setChannel(uint32_t channel) override { adapter.setChannel(channel); }
  bool loadPlugin(const std::string& path, double sampleRate) override { return adapter.loadPlugin(path, sampleRate); }
  INativeInstrument& instrument() override { return adapter; }
  Adapter adapter;
};

}  // namespace corvel
