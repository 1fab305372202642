// One render of a song (a MIDI file or the built-in phrase) through one
// plug-in into a 32-bit float stereo WAV file, on a corvel::Session. A failed
// render leaves no WAV file and no shared block behind. corvel-render runs
// one of these, or many on threads of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace corvel {

struct RenderJob {
  std::string plugin, midi, out = "out.wav", presetIn, presetOut, host;
  bool vst2 = false;
  double sampleRate = 44100;
  double tail = 1;                // after the song's last message, unless `seconds` is set
  std::optional<double> seconds;  // the render's whole length
  // Offline, a block is due the moment the other side is done: watching for
  // it saves the two wake-ups of a sleep, which cost more than most plug-ins
  // take to render a block.
  uint32_t block = 256, spinMicroseconds = 50;
};

enum class JobStatus { kDone, kFailed };

struct JobOutcome {
  JobStatus status = JobStatus::kFailed;
  std::string why;      // kFailed: one line, with the host's exit code or signal when it ended
  std::string hostLog;  // kFailed: the host's last log lines, when a host ran
  uint64_t frames = 0;
  double audioSeconds = 0;
  double renderSeconds = 0;  // from the host's first block to the last
  float peak = 0;
  double rms = 0;
};

// Told the frames rendered so far and the render's total, after every call.
using FrameProgress = std::function<void(uint64_t done, uint64_t total)>;

// Any thread; each job on one thread.
JobOutcome renderJob(const RenderJob& job, const FrameProgress& progress);

// "OUT: N frames (S s), peak P, RMS R, rendered in T s (Xx realtime)". Any thread.
std::string outcomeLine(const RenderJob& job, const JobOutcome& outcome);

}  // namespace corvel
