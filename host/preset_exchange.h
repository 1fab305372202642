// The preset areas of the shared block: publishing the instrument's state,
// taking states the parent writes, and the panic that follows them. Main thread.
#pragma once

#include <cstdint>
#include <string>

#include "corvel/shm_block.h"
#include "instrument/native_instrument.h"
#include "platform/shm.h"

namespace corvel {

class PresetExchange {
 public:
  // `signals` wakes a parent waiting on the preset sizes; null for a block
  // that is plain memory (tests).
  PresetExchange(ShmBlock& block, ShmHandle* signals, INativeInstrument& instrument, uint32_t channel);

  // Once at the end of start-up: publishes the captured state, then panics.
  void publishInitial();
  // Sustain off, all notes off, 128 note-offs on MIDI channel 0; the state
  // afterwards becomes the baseline for republishing.
  void panic();
  // Applies, rejects or ignores what the parent left in presetIn.
  void takeIncoming();
  // Publishes the state again if it differs from the last publication.
  void republishIfChanged();

  const std::string& lastPublished() const { return published; }

 private:
  std::string captured();
  bool publishable(const std::string& text) const;
  void publish(const std::string& text);

  void clearSize();

  ShmBlock& block;
  ShmHandle* signals;
  INativeInstrument& instrument;
  uint32_t channel;
  std::string published;
  std::string incoming;
};

}  // namespace corvel
