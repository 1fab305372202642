// How many hosts one parent can drive like a real audio callback. One
// thread keeps an absolute-time period of F frames at 48 kHz; each period it
// writes the MIDI that is due to every host (each plays a note every quarter
// second, one always held so no host idles), waits for each host's block
// until the period's deadline, takes it and acknowledges it. A block that
// misses the deadline counts as late; it is taken in the next period, like
// any block that waits there, so one late block never makes the next one
// late. For each plug-in and F, N grows from 1 until more than 0.1 % of the
// blocks of a run are late; the largest N that stayed within it is reported.
//
//   scale_bench [--seconds S] [--plugin mda|amsynth] [--frames F]
//               [--max-hosts N] [--rt-priority P] [--help]
//
// Main thread.
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"
#include "tests/support/corvel_session.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kSampleRate = 48000;
constexpr double kLateLimit = 0.001;
constexpr double kNoteSeconds = 0.25;
constexpr double kWarmUpSeconds = 0.5;  // periods not counted: hosts come up to speed
constexpr uint8_t kNotes[] = {48, 55, 60, 64, 67, 72, 67, 64};
constexpr uint8_t kVelocity = 100;

constexpr char kUsage[] =
    "usage: scale_bench [--seconds S] [--plugin mda|amsynth] [--frames F] [--max-hosts N] [--rt-priority P]\n"
    "  --seconds S      counted audio per run (default 60)\n"
    "  --plugin NAME    only mda DX10 (mda) or only amsynth (amsynth); default both\n"
    "  --frames F       only this period (default 32, 64 and 128)\n"
    "  --max-hosts N    stop growing at N hosts (default 16)\n"
    "  --rt-priority P  SCHED_FIFO priority P for the parent thread and every host\n";

struct Subject {
  std::string key;
  std::string label;
  std::vector<std::string> hostArguments;
};

std::vector<Subject> allSubjects() {
  return {{"mda", "mda DX10", {"--path", std::string(CORVEL_VST3_SAMPLES) + "/mda-vst3.vst3"}},
          {"amsynth", "amsynth", {"--vst2", "--path", "/usr/lib/vst/amsynth_vst.so"}}};
}

struct Options {
  double seconds = 60;
  std::vector<Subject> subjects = allSubjects();
  std::vector<uint32_t> frames{32, 64, 128};
  unsigned maxHosts = 16;
  int32_t rtPriority = 0;
};

// Applies one option and its value; false when either is not understood.
bool applyOption(Options& options, const std::string& option, const std::string& value) {
  if (option == "--seconds") {
    options.seconds = std::atof(value.c_str());
    return options.seconds > 0;
  }
  if (option == "--plugin") {
    std::erase_if(options.subjects, [&](const Subject& subject) { return subject.key != value; });
    return !options.subjects.empty();
  }
  if (option == "--frames") {
    options.frames = {static_cast<uint32_t>(std::atoi(value.c_str()))};
    return options.frames[0] > 0 && options.frames[0] <= kMaxBlockFrames;
  }
  if (option == "--max-hosts") {
    options.maxHosts = static_cast<unsigned>(std::atoi(value.c_str()));
    return options.maxHosts > 0;
  }
  if (option == "--rt-priority") {
    options.rtPriority = std::atoi(value.c_str());
    return options.rtPriority > 0;
  }
  return false;
}

// Null on anything not understood.
std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  if (argc % 2 == 0) return std::nullopt;
  for (int i = 1; i + 1 < argc; i += 2)
    if (!applyOption(options, argv[i], argv[i + 1])) return std::nullopt;
  return options;
}

// One host as the callback sees it.
struct Voice {
  std::unique_ptr<Corvel> host;
  uint32_t taken = 0;  // renderCount of the newest block taken
  int sounding = -1;   // the held note
  bool notePending = false;
  std::vector<ShmMidiEvent> batch = std::vector<ShmMidiEvent>(2);  // reused: the callback never allocates
};

// What one run of periods saw.
struct Tally {
  uint64_t blocks = 0;
  uint64_t late = 0;
  uint64_t periods = 0;
  uint64_t parentOverruns = 0;  // periods the parent itself woke after their deadline
  double parentLateMicros = 0;  // how late it woke, at worst
  float peak = 0;               // loudest sample taken, to show the synths sound
};

// Starts a host serving `frames`-frame blocks and takes the block it renders
// before any MIDI. Null when it does not come up.
std::optional<Voice> startVoice(const Subject& subject, const Options& options, uint32_t frames) {
  std::vector<std::string> arguments{"--block", std::to_string(frames), "--sr", "48000"};
  arguments.insert(arguments.end(), subject.hostArguments.begin(), subject.hostArguments.end());
  if (options.rtPriority > 0) arguments.insert(arguments.end(), {"--rt-priority", std::to_string(options.rtPriority)});
  Voice voice{std::make_unique<Corvel>(arguments)};
  AudioBlock first;
  if (!voice.host->serving() || !voice.host->block->readBlock(frames, first, 5s)) return std::nullopt;
  voice.taken = first.renderCount;
  return voice;
}

// Each voice changes note on its own offset into the tune, the new note
// before the old one ends, so its host never idles. A batch the host has not
// taken yet holds the change back to the next period.
// [audio] no allocation, no lock.
void sendDueMidi(Voice& voice, size_t index, uint64_t period, uint64_t periodsPerNote) {
  if (period % periodsPerNote == 0) voice.notePending = true;
  if (!voice.notePending) return;
  const int next = kNotes[(period / periodsPerNote + index) % std::size(kNotes)];
  voice.batch.resize(voice.sounding >= 0 && voice.sounding != next ? 2 : 1);
  voice.batch[0] = {kMidiNoteOn, 0, static_cast<uint8_t>(next), kVelocity, 0, 0, {}};
  if (voice.batch.size() == 2) voice.batch[1] = {kMidiNoteOff, 0, static_cast<uint8_t>(voice.sounding), 0, 0, 0, {}};
  if (!voice.host->block->writeMidi(voice.batch, 0ms)) return;
  voice.sounding = next;
  voice.notePending = false;
}

// [audio] no allocation, no lock.
float peakOf(const ShmBlock& block, uint32_t buffer, uint32_t frames, float peak) {
  for (uint32_t i = 0; i < frames; ++i)
    peak = std::max({peak, std::fabs(block.outLeft[buffer][i]), std::fabs(block.outRight[buffer][i])});
  return peak;
}

// Takes and acknowledges the host's next block if it is there by
// `deadline`. [audio] no allocation, no lock.
bool takeBy(Voice& voice, Clock::time_point deadline, uint32_t frames, Tally& tally) {
  ClientBlock& block = *voice.host->block;
  const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
  if (!block.waitForRender(voice.taken, std::chrono::duration_cast<Timeout>(left))) return false;
  const uint32_t buffer = loadAcquire(block.raw().frontIndex) & 1;
  tally.peak = peakOf(block.raw(), buffer, frames, tally.peak);
  voice.taken = block.renderCount();
  block.acknowledge(buffer);
  return true;
}

void sleepUntil(Clock::time_point wake) {
  const auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(wake.time_since_epoch()).count();
  const timespec at{static_cast<time_t>(since / 1000000000), static_cast<long>(since % 1000000000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}

void countParent(Tally& tally, std::chrono::duration<double, std::micro> wokeLate, std::chrono::nanoseconds period) {
  ++tally.periods;
  tally.parentOverruns += wokeLate > period ? 1 : 0;
  tally.parentLateMicros = std::max(tally.parentLateMicros, wokeLate.count());
}

// Runs the callback over the warm-up and `seconds` of counted periods.
Tally runPeriods(std::vector<Voice>& voices, uint32_t frames, double seconds) {
  const std::chrono::nanoseconds period(static_cast<int64_t>(std::llround(frames * 1e9 / kSampleRate)));
  const auto periodsPerNote = static_cast<uint64_t>(kNoteSeconds * kSampleRate / frames);
  const auto warmUp = static_cast<uint64_t>(kWarmUpSeconds * kSampleRate / frames);
  const auto total = warmUp + static_cast<uint64_t>(seconds * kSampleRate / frames);
  Tally tally;
  const auto start = Clock::now();
  for (uint64_t k = 0; k < total; ++k) {
    const auto begin = start + k * period;
    const auto deadline = begin + period;
    const std::chrono::duration<double, std::micro> wokeLate = Clock::now() - begin;
    for (size_t i = 0; i < voices.size(); ++i) sendDueMidi(voices[i], i, k, periodsPerNote);
    for (Voice& voice : voices) {
      const bool onTime = takeBy(voice, deadline, frames, tally);
      if (k < warmUp) continue;
      ++tally.blocks;
      tally.late += onTime ? 0 : 1;
    }
    if (k >= warmUp) countParent(tally, wokeLate, period);
    sleepUntil(deadline);
  }
  return tally;
}

void printParent(const Tally& tally) {
  std::printf("parent woke past the deadline in %llu of %llu periods, at worst %.0f us late\n",
              static_cast<unsigned long long>(tally.parentOverruns), static_cast<unsigned long long>(tally.periods),
              tally.parentLateMicros);
  std::fflush(stdout);
}

struct Finding {
  std::string label;
  uint32_t frames;
  unsigned hosts;  // the largest N within the limit
  bool capped;     // every N up to --max-hosts stayed within it
};

// Grows the number of hosts until a run has too many late blocks.
Finding search(const Subject& subject, const Options& options, uint32_t frames) {
  Finding finding{subject.label, frames, 0, false};
  std::vector<Voice> voices;
  // The parent alone first: what the machine allows before any host runs.
  std::printf("  %u frames, no hosts: ", frames);
  printParent(runPeriods(voices, frames, options.seconds));
  while (voices.size() < options.maxHosts) {
    auto voice = startVoice(subject, options, frames);
    if (!voice) {
      std::printf("  %s, %u frames: host %zu did not start\n", subject.label.c_str(), frames, voices.size() + 1);
      return finding;
    }
    voices.push_back(std::move(*voice));
    const Tally tally = runPeriods(voices, frames, options.seconds);
    const double lateShare = static_cast<double>(tally.late) / static_cast<double>(tally.blocks);
    std::printf("  %s, %u frames, %zu hosts: %llu of %llu blocks late (%.3f %%), peak %.3f; ", subject.label.c_str(),
                frames, voices.size(), static_cast<unsigned long long>(tally.late),
                static_cast<unsigned long long>(tally.blocks), lateShare * 100, tally.peak);
    printParent(tally);
    if (lateShare > kLateLimit) return finding;
    finding.hosts = static_cast<unsigned>(voices.size());
  }
  finding.capped = true;
  return finding;
}

}  // namespace
}  // namespace corvel

int main(int argc, char** argv) {
  using namespace corvel;
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const auto options = parseOptions(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  beginFineTimer();
  if (options->rtPriority > 0) {
    if (const std::string refusal = requestRealtime(options->rtPriority); !refusal.empty())
      std::printf("parent: real-time priority refused: %s\n", refusal.c_str());
  }
  std::printf("scale: %.0f s per run at 48 kHz, late = block not there by the end of its period\n",
              options->seconds);
  std::vector<Finding> findings;
  for (const Subject& subject : options->subjects)
    for (const uint32_t frames : options->frames) findings.push_back(search(subject, *options, frames));
  std::printf("%-10s %6s  %s\n", "plug-in", "frames", "hosts with <= 0.1 % late blocks");
  for (const Finding& finding : findings)
    std::printf("%-10s %6u  %u%s\n", finding.label.c_str(), finding.frames, finding.hosts,
                finding.capped ? " (the most tried)" : "");
  endFineTimer();
  return 0;
}
