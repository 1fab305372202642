// corvel::Session: one hosted plug-in as a parent application sees it. It
// starts a corvel process on a block of its own, plays timed MIDI in and
// takes audio out in the order the host expects, follows the host's idle
// rule, tells a dead host from a hung one, and restarts a host that failed
// with the last preset it published. Everything the block protocol asks of a
// parent is done here; see the README's "Writing a parent" for the rules.
//
// Threads: one thread owns a session and makes every call, except where a
// function says otherwise. renderBlock() is the real-time road: [audio] no
// allocation, no lock, never blocks past its deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "corvel/client_block.h"

namespace corvel {

// One MIDI message, due `frame` frames after the start of the render call
// that carries it. The host has no sample offsets: a message sounds from the
// start of the block that holds its frame (or a later one, when more than
// kMidiCapacity fall in one block).
struct MidiEvent {
  uint32_t frame = 0;
  uint8_t status = 0;  // 0x80-0xEF; others are refused (kBadArgument)
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

struct SessionOptions {
  std::string plugin;  // VST 3 bundle or .so, or a VST 2.x library with vst2
  bool vst2 = false;
  double sampleRate = 48000;  // 1000-1000000
  uint32_t blockFrames = 256;  // 1-kMaxBlockFrames
  std::string presetText;      // applied before start() returns; empty: none
  std::string presetFile;      // a file of preset text, applied by the host at start-up
  std::string hostPath;        // empty: corvel beside this library, then on PATH
  // Fast wake: both sides watch a field this long before sleeping on it.
  std::chrono::microseconds spin{0};
  int32_t rtPriority = 0;  // the host's SCHED_FIFO priority; 0: none
  // The host's first block must come within this, or start() fails.
  std::chrono::milliseconds startLimit{20000};
  // A host whose block count stands still this long while MIDI waits or a
  // block was acknowledged is hung.
  std::chrono::milliseconds hangLimit{2000};
  // After kHostGone or kHung, start a new host at once (as restart() does).
  bool restartAutomatically = false;
  // "NAME=value" set or overridden in the host's environment.
  std::vector<std::string> environment;
};

enum class StartStatus {
  kStarted,
  kBadOptions,      // a value the host cannot serve; nothing was started
  kNoBlock,         // the shared block could not be created
  kNoHost,          // the host executable could not be started
  kHostEnded,       // the host ended before its first block (bad plug-in, say)
  kNoFirstBlock,    // the host ran but rendered nothing within startLimit
  kPresetRefused,   // presetText was rejected or too large; the host was stopped
};

enum class RenderStatus {
  kBlock,        // audio from the host
  kIdle,         // the host idles on silence: zeros, no wait
  kLate,         // renderBlock only: the deadline came first; silence
  kHostGone,     // the host process ended; see lastError()
  kHung,         // no block for hangLimit while one was due; see lastError()
  kNotRunning,   // no host: start() failed or stop() ran
  kBadArgument,  // a bad event or frame count; nothing was sent
};

enum class PushStatus {
  kTaken,      // the host took the text and applies it
  kRejected,   // the host refused it (a stub)
  kTooLarge,   // refused before anything was written
  kHostGone,   // the host ended or hung before taking it
  kNotRunning,
};

// How the last host failure looked. Empty fields are unknown.
struct SessionError {
  std::string message;             // one line: what went wrong
  std::optional<int> exitCode;     // the host exited with this code
  std::optional<int> signal;       // the host was killed by this signal
  std::string hostLog;             // the host's last log lines, crash report included
};

// Where render() writes: `frames` samples per channel, owned by the caller.
struct AudioSink {
  float* left = nullptr;
  float* right = nullptr;
};

class Session {
 public:
  Session();
  ~Session();  // stop()
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Creates a unique block, spawns corvel with --parent and takes the host's
  // first block, so no MIDI meets a host that is not yet serving. On failure
  // lastError() says why. Owner.
  StartStatus start(const SessionOptions& options);

  // Renders `frames` frames (any count) into `sink`. Events go out in frame
  // order, at most kMidiCapacity per block, the rest with the next block;
  // none is dropped. Frames of a block the call does not use are kept for
  // the next call. kBlock when any block came from the host, kIdle when all
  // were silence; on kHostGone or kHung the frames after the failure are
  // zeros. Owner.
  RenderStatus render(std::span<const MidiEvent> events, uint32_t frames, AudioSink sink);

  // One block of blockFrames frames for a real-time parent: never waits past
  // `deadline`; kLate with silence when the host was slower, and the late
  // block is dropped when it comes. Events beyond what fits in one batch
  // wait for later blocks (up to a fixed backlog; more is kBadArgument).
  // [audio] no allocation, no lock.
  RenderStatus renderBlock(std::span<const MidiEvent> events, AudioSink sink,
                           std::chrono::steady_clock::time_point deadline);

  // Hands a preset text to the host and waits until it was taken or
  // refused; it applies from the next block on. Owner.
  PushStatus pushPreset(const std::string& text);
  // The preset the host published last; empty while none is. Owner.
  std::string preset() const;
  // preset() into `path`, and pushPreset() of a file's text. Owner.
  bool savePreset(const std::string& path) const;
  PushStatus loadPreset(const std::string& path);

  // Silences every note from the next block on, in both modes. Owner.
  void allNotesOff();

  // Ends the host (QUIT in VST 2 mode, SIGTERM otherwise, SIGKILL if it
  // will not go), reaps it and removes the block. Idempotent. Owner.
  void stop();
  // Stops what is left of the host and starts a new one with the same
  // options and the last preset it published. Owner.
  StartStatus restart();

  bool running() const;
  const SessionError& lastError() const;
  const SessionOptions& options() const;
  uint32_t restarts() const;           // hosts started after the first
  unsigned long hostProcessId() const;  // 0 without a host

 private:
  struct State;
  std::unique_ptr<State> state;
};

}  // namespace corvel
