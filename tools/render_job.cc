#include "tools/render_job.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "corvel/session.h"
#include "tools/midi_file.h"
#include "tools/render_plan.h"

namespace corvel {
namespace {

// Enough blocks per call that the session's per-call work vanishes, few
// enough that progress moves smoothly.
constexpr uint32_t kBlocksPerCall = 16;

// The WAV file being written, removed again unless the render completes, so
// a failure never leaves a partial or empty file behind. One thread.
class WavOutput {
 public:
  WavOutput(const std::string& path, double sampleRate) : path(path) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    file = sf_open(path.c_str(), SFM_WRITE, &info);
  }
  ~WavOutput() {
    if (!file) return;
    sf_close(file);
    std::remove(path.c_str());
  }
  WavOutput(const WavOutput&) = delete;
  WavOutput& operator=(const WavOutput&) = delete;

  bool isOpen() const { return file != nullptr; }
  bool write(const std::vector<float>& interleaved) {
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / 2);
    return sf_writef_float(file, interleaved.data(), frames) == frames;
  }
  // Keeps the file: the render is complete.
  void finish() {
    sf_close(file);
    file = nullptr;
  }

 private:
  std::string path;
  SNDFILE* file = nullptr;
};

// Peak and power of what was written. One thread.
struct Levels {
  double sumSquares = 0;
  float peak = 0;
  void add(const std::vector<float>& samples) {
    for (const float sample : samples) {
      sumSquares += double{sample} * sample;
      peak = std::max(peak, std::fabs(sample));
    }
  }
};

// The song to play, or why there is none. Any thread.
std::string loadSong(const RenderJob& job, MidiSong& song) {
  if (job.midi.empty()) {
    song = builtInPhrase();
    return "";
  }
  std::ifstream file(job.midi, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
  std::string error;
  if (file.bad() || bytes.empty() || !parseMidiFile(bytes, song, error))
    return "cannot read " + job.midi + ": " + (error.empty() ? "no data" : error);
  return "";
}

// The plan's refusal in words; empty when it can be rendered. Any thread.
std::string planRefusal(const RenderPlan& plan, const RenderJob& job, double seconds) {
  char text[200];
  switch (plan.status()) {
    case PlanStatus::kReady:
      return "";
    case PlanStatus::kBadFormat:
      return "the sample rate or block size is outside what the host serves";
    case PlanStatus::kTooLong:
      break;
  }
  std::snprintf(text, sizeof text, "%s %g s, more than the %g s one render may take",
                job.seconds ? "the render would last" : "the song and its tail last", seconds, kMaxRenderSeconds);
  return text;
}

// Any thread.
SessionOptions sessionOptions(const RenderJob& job) {
  SessionOptions options;
  options.plugin = job.plugin;
  options.vst2 = job.vst2;
  options.sampleRate = job.sampleRate;
  options.blockFrames = job.block;
  options.presetFile = job.presetIn;
  options.hostPath = job.host;  // empty: the session looks beside this tool first
  options.spin = std::chrono::microseconds(job.spinMicroseconds);
  return options;
}

// The session's account of a failure, which ends in how the host ended.
// Any thread.
std::string failureText(const SessionError& error, const char* fallback) {
  return error.message.empty() ? fallback : error.message;
}

// Any thread.
bool rendered(RenderStatus status) { return status == RenderStatus::kBlock || status == RenderStatus::kIdle; }

// One job from its song to its WAV file, on the thread that runs it.
class JobRun {
 public:
  JobRun(const RenderJob& job, const FrameProgress& progress) : job(job), progress(progress) {}

  JobOutcome run() {
    MidiSong song;
    outcome.why = loadSong(job, song);
    if (!outcome.why.empty()) return outcome;
    const double seconds = job.seconds.value_or(song.lengthSeconds + job.tail);
    RenderPlan plan(song, job.sampleRate, job.block, seconds);
    outcome.why = planRefusal(plan, job, seconds);
    if (!outcome.why.empty()) return outcome;
    if (session.start(sessionOptions(job)) != StartStatus::kStarted)
      return failed(failureText(session.lastError(), "the host did not start rendering"));
    return renderInto(plan);
  }

 private:
  JobOutcome renderInto(RenderPlan& plan) {
    const auto started = std::chrono::steady_clock::now();
    WavOutput wav(job.out, job.sampleRate);
    if (!wav.isOpen()) return failed("cannot write " + job.out + ": " + sf_strerror(nullptr));
    const uint32_t most = kBlocksPerCall * job.block;
    std::vector<float> left(most), right(most), interleaved;
    Levels levels;
    for (uint64_t done = 0; done < plan.frameCount();) {
      const auto count = static_cast<uint32_t>(std::min<uint64_t>(most, plan.frameCount() - done));
      if (!rendered(session.render(plan.takeEvents(count), count, {left.data(), right.data()})))
        return failed(failureText(session.lastError(), "the host stopped rendering"));
      interleaved.resize(2 * count);
      for (uint32_t i = 0; i < count; ++i) interleaved[2 * i] = left[i], interleaved[2 * i + 1] = right[i];
      levels.add(interleaved);
      if (!wav.write(interleaved)) return failed("cannot write " + job.out);
      done += count;
      progress(done, plan.frameCount());
    }
    wav.finish();
    outcome.renderSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!job.presetOut.empty()) std::ofstream(job.presetOut, std::ios::binary) << session.preset();
    session.stop();
    outcome.status = JobStatus::kDone;
    outcome.frames = plan.frameCount();
    outcome.audioSeconds = static_cast<double>(outcome.frames) / job.sampleRate;
    outcome.peak = levels.peak;
    outcome.rms = outcome.frames ? std::sqrt(levels.sumSquares / (2.0 * static_cast<double>(outcome.frames))) : 0.0;
    return outcome;
  }

  // Ends the host and removes the block before the caller hears the outcome.
  JobOutcome failed(const std::string& why) {
    outcome.why = why;
    session.stop();
    outcome.hostLog = session.lastError().hostLog;
    return outcome;
  }

  const RenderJob& job;
  const FrameProgress& progress;
  Session session;
  JobOutcome outcome;
};

}  // namespace

JobOutcome renderJob(const RenderJob& job, const FrameProgress& progress) { return JobRun(job, progress).run(); }

std::string outcomeLine(const RenderJob& job, const JobOutcome& outcome) {
  char text[300];
  std::snprintf(text, sizeof text, ": %llu frames (%.2f s), peak %.4f, RMS %.4f, rendered in %.2f s (%.1fx realtime)",
                static_cast<unsigned long long>(outcome.frames), outcome.audioSeconds, outcome.peak, outcome.rms,
                outcome.renderSeconds, outcome.renderSeconds > 0 ? outcome.audioSeconds / outcome.renderSeconds : 0.0);
  return job.out + text;
}

}  // namespace corvel
