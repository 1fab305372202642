// The host's one main loop: each pass drains window messages, takes
// commands (VST 2 only), presets and MIDI out of the block, checks the
// parent, and unless idle renders one block and waits until the parent has
// taken it. Its waits sleep on the block's fields until the parent wakes
// them, and give up after the polling periods a parent that never wakes
// anyone relies on. Main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "host/host_options.h"
#include "host/preset_exchange.h"
#include "corvel/shm_block.h"
#include "instrument/native_instrument.h"
#include "platform/parent_watch.h"
#include "platform/shm.h"

namespace corvel {

// Why the loop ended.
enum class LoopEnd : uint8_t { kRunning, kQuit, kParentGone, kTerminationRequested };

class ServiceLoop {
 public:
  // `signals` is the block's handle for waits and wakes; null for a block
  // that is plain memory (tests), whose waits then poll.
  ServiceLoop(ShmBlock& block, ShmHandle* signals, INativeInstrument& instrument, PresetExchange& presets,
              const HostOptions& options, const ParentWatch& parent);

  // Runs passes until the parent is gone, termination was requested or a
  // QUIT command arrived, and says which.
  LoopEnd run();
  // One pass; false when the loop must end.
  bool runPass();

  int32_t activeNotes() const { return notesHeld; }
  bool idle() const { return idling; }

 private:
  static constexpr uint32_t kRepublishPasses = 200;
  // How long one wait may sleep before the loop looks at the parent again.
  static constexpr std::chrono::microseconds kAcknowledgementRound{1000};
  static constexpr std::chrono::microseconds kIdleRound{15000};
  static constexpr std::chrono::seconds kResetInterval{1};

  void handleCommands();
  // The MIDI batch to the instrument. [audio] no allocation, no lock (the
  // adapters' per-message lines aside).
  void deliverMidi();
  void deliver(const ShmMidiEvent& event);
  bool parentGone() const;
  // False once something ended the loop; says why.
  bool endsWith(LoopEnd reason, const char* line);
  // Renders, checks and publishes one block. [audio] no allocation, no lock.
  uint32_t render();
  // Off the audio road: only a broken block comes here.
  void silenceBrokenBlock(float* left, float* right);
  void recoverInstrument();
  // [audio] no allocation, no lock.
  void waitForParent(uint32_t buffer) const;
  void waitWhileIdle() const;
  bool workPending() const;
  // [audio] no allocation, no lock.
  void clearAndWake(uint32_t& field);
  std::chrono::microseconds spin() const;

  ShmBlock& block;
  ShmHandle* signals;
  INativeInstrument& instrument;
  PresetExchange& presets;
  const HostOptions& options;
  const ParentWatch& parent;

  int32_t notesHeld = 0;
  bool idling = false;
  bool outputBroken = false;  // the newest block had non-finite samples
  std::optional<std::chrono::steady_clock::time_point> lastReset;
  LoopEnd ended = LoopEnd::kRunning;
  uint32_t producedCount[2] = {0, 0};
  uint32_t republishCounter = 0;
};

}  // namespace corvel
