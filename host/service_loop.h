// The host's one main loop: each pass drains window messages, takes
// commands (VST 2 only), presets and MIDI out of the block, checks the
// parent, and unless idle renders one block and waits until the parent has
// taken it. Main thread.
#pragma once

#include <cstdint>

#include "host/host_options.h"
#include "host/preset_exchange.h"
#include "host/shm_block.h"
#include "instrument/native_instrument.h"
#include "platform/parent_watch.h"

namespace corvel {

class ServiceLoop {
 public:
  ServiceLoop(ShmBlock& block, INativeInstrument& instrument, PresetExchange& presets, const HostOptions& options,
              const ParentWatch& parent);

  // Runs passes until the parent is gone or a QUIT command arrived.
  void run();
  // One pass; false when the loop must end.
  bool runPass();

  int32_t activeNotes() const { return notesHeld; }
  bool idle() const { return idling; }

 private:
  static constexpr uint32_t kRepublishPasses = 200;

  void handleCommands();
  void deliverMidi();
  void deliver(const ShmMidiEvent& event);
  bool parentGone() const;
  uint32_t render();
  void detectSilence(uint32_t buffer);
  void waitForParent(uint32_t buffer) const;

  ShmBlock& block;
  INativeInstrument& instrument;
  PresetExchange& presets;
  const HostOptions& options;
  const ParentWatch& parent;

  int32_t notesHeld = 0;
  bool idling = false;
  bool quit = false;
  uint32_t producedCount[2] = {0, 0};
  uint32_t republishCounter = 0;
};

}  // namespace corvel
