// The parent's side of the shared block: creates or attaches to a named
// block and runs each exchange in the order the host expects — records or
// text first, then the count or size that announces them (release store),
// and counts, indices and sizes always read with acquire loads.
//
// One thread drives the audio exchange (readBlock and its pieces) and one
// the control exchanges (MIDI, commands, presets); they may be the same.
// heartbeat() may be read from any thread.
//
// After each announcing store the client wakes the host, and every wait
// sleeps on the field it expects to change until the host wakes it. Each
// sleep is bounded (kWaitRound) and re-reads its field, so the client works
// as well against a host that never wakes anyone.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvel/shm_block.h"

namespace corvel {

struct ShmHandle;

// Fine enough for a real-time parent's deadline within one short period.
using Timeout = std::chrono::microseconds;

// One rendered block as the parent took it.
struct AudioBlock {
  uint32_t bufferIndex = 0;  // frontIndex when it was read
  uint32_t renderCount = 0;  // the host's count that announced it
  std::vector<float> left;
  std::vector<float> right;
};

enum class PresetOutcome {
  kTaken,     // the host copied the text and will apply it
  kRejected,  // the host cleared the size without applying: a stub
  kTooLarge,  // refused before anything was written: the host would ignore it
  kPending,   // the size never returned to 0 (host not serving)
};

// Whether a host that has MIDI waiting is getting on with it.
enum class HostProgress {
  kNothingWaiting,  // no MIDI was waiting: nothing to judge by
  kMoving,          // the MIDI was taken or a block was rendered
  kStalled,         // MIDI waited the whole limit and no block came
};

struct WaitPolicy {
  // Off only to stand in for a parent that predates wakes (tests, benches).
  bool wakeHost = true;
  // Watch a field this long before sleeping on it: a core traded for latency.
  std::chrono::microseconds spin{0};
};

class ClientBlock {
 public:
  // A new, zero-filled block (mode 0600), removed again by remove() or the
  // destructor; attaches instead when the name exists. Null on failure. Any thread.
  static std::unique_ptr<ClientBlock> create(const std::string& name);
  // An existing block, which remove() leaves in place. Null when there is none. Any thread.
  static std::unique_ptr<ClientBlock> attach(const std::string& name);

  ~ClientBlock();
  ClientBlock(const ClientBlock&) = delete;
  ClientBlock& operator=(const ClientBlock&) = delete;

  // The raw layout, for callers that must do what the helpers refuse to
  // (e.g. announce more records than fit). Any thread.
  ShmBlock& raw() { return *block; }

  // Set before the exchanges start. Owner thread.
  void setWaitPolicy(const WaitPolicy& newPolicy) { policy = newPolicy; }

  // Wakes the host at `field` after a store of the caller's own on the raw
  // layout (idle host: midiCount). Any thread.
  void wakeHost(const uint32_t& field) const;
  // Waits until the host has cleared the previous batch, then writes at most
  // kMidiCapacity records and their count. False on timeout. Control thread.
  bool writeMidi(const std::vector<ShmMidiEvent>& events, Timeout timeout);

  // Same protocol for commands, at most kCommandCapacity. Control thread.
  bool sendCommands(const std::vector<uint32_t>& codes, Timeout timeout);

  // Writes the text, then its size, and waits for the size to return to 0.
  // Texts the host would ignore (kPresetCapacity bytes or more) are refused
  // at once (kTooLarge). Control thread.
  PresetOutcome pushPreset(const std::string& text, Timeout timeout);

  // The published preset, read until two reads agree in size and content, so
  // a publication racing with the read is never returned half-written.
  // Empty while nothing is published. Control thread.
  std::string readPublishedPreset() const;

  // Waits for the next block (renderCount moving past the last one taken),
  // copies `frames` samples of both channels and acknowledges it. False on
  // timeout. Audio thread.
  bool readBlock(uint32_t frames, AudioBlock& out, Timeout timeout);

  // The pieces of readBlock, for callers that time the turnaround. Audio thread.
  bool waitForRender(uint32_t previousCount, Timeout timeout) const;
  // Counts the block in `bufferIndex` as taken and wakes the host.
  // [audio] no allocation, no lock.
  void acknowledge(uint32_t bufferIndex);
  uint32_t renderCount() const { return loadAcquire(block->renderCount); }

  // The heartbeat counter. Any thread.
  uint32_t heartbeat() const { return loadAcquire(block->heartbeat); }
  // True once the heartbeat has not moved for `quiet`: the host has ended,
  // crashed or hung. False if it kept beating until `timeout`. Any thread.
  bool waitForHeartbeatStop(Timeout quiet, Timeout timeout) const;

  // Watches for up to `limit` whether MIDI that waits to be taken gets taken
  // or a block gets rendered. A host that is stuck (inside its plug-in, say)
  // keeps beating its heartbeat, so this is how to tell it from a busy one.
  // Control thread.
  HostProgress watchProgress(Timeout limit) const;

  // Unmaps and, if this client created the block, removes its name. Idempotent. Owner thread.
  void remove();

 private:
  explicit ClientBlock(ShmHandle* handle);

  // Sleeps on `field` in rounds of at most `round` until `done(value)`
  // holds; false at the timeout. A null `signals` sleeps without wakes.
  template <class Done>
  bool waitFor(ShmHandle* signals, const uint32_t& field, Done done, Timeout timeout,
               std::chrono::microseconds round) const;
  // Waits until the host has taken what `count` announced.
  bool waitForEmpty(const uint32_t& count, Timeout timeout) const;

  ShmHandle* handle;
  ShmBlock* block;
  WaitPolicy policy;
  uint32_t lastTaken = 0;  // renderCount of the newest block readBlock took
};

}  // namespace corvel
