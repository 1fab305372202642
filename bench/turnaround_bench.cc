// Latency through a real host process (the fake host by default), in
// microseconds, for three kinds of parent: one that never wakes the host (it
// predates wakes), one that wakes it, and one that wakes it and spins, with
// the host spinning too.
// - turnaround: from the parent's acknowledgement of one block to it seeing
//   the next, at 32, 64 and 256 frames. The fake host renders at the level
//   controller 7 sets, so at full level it never idles.
// - note-on: from the parent's MIDI count store, made to an idle host, to it
//   seeing the first audible block (64 frames). Each trial silences the host
//   again (controller 7 at 0) and waits a random stretch, so the store falls
//   anywhere in the idle host's sleep, as a played note would.
// Prints one line per figure, led by a label naming where it ran, so runs on
// several platforms can be set side by side:
//   turnaround_bench [--blocks N] [--trials N] [--label NAME] [--host PATH]
// --host drives another host binary that renders like the fake host (an
// older build's, say). Everything runs on the main thread.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "client/child_process.h"
#include "corvel/client_block.h"
#include "platform/system.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::microseconds kSpin{100};
constexpr uint32_t kNoteOnFrames = 64;
constexpr auto kPatience = 5s;
constexpr auto kStartPatience = 20s;  // Wine starts a process slowly on a busy machine

// The fake host as a VST 3 opens its editor where there is a display (under
// Wine there always is), and a host with an open editor never idles: the
// note-on trials load it as a VST 2, whose editor opens only on command.
// "quiet": a note's echo on the host's standard error would wake this
// process's capture thread and be timed with the note.
const std::vector<std::string> kRendering{"--path", "quiet.vst3"};
const std::vector<std::string> kIdling{"--vst2", "--path", "quiet.so"};

struct Options {
  unsigned long blocks = 2000;
  unsigned long trials = 200;
  std::string label = CORVEL_BENCH_LABEL;
  std::string host = CORVEL_FAKEHOST_PATH;
};

// How a parent treats the host, and the host options that go with it.
struct Parent {
  const char* name;
  WaitPolicy policy;
  std::vector<std::string> hostArguments;
};

const Parent kParents[] = {
    {"never-waking", {false, {}}, {}},
    {"waking", {true, {}}, {}},
    {"waking+spin", {true, kSpin}, {"--spin-us", std::to_string(kSpin.count())}},
};

// Null on an unknown option or a missing or zero count. Main thread.
std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--blocks")
      options.blocks = std::strtoul(argv[i + 1], nullptr, 10);
    else if (option == "--trials")
      options.trials = std::strtoul(argv[i + 1], nullptr, 10);
    else if (option == "--label")
      options.label = argv[i + 1];
    else if (option == "--host")
      options.host = argv[i + 1];
    else
      return std::nullopt;
  }
  if (argc % 2 == 0 || options.blocks == 0 || options.trials == 0) return std::nullopt;
  return options;
}

// The value at `fraction` of the sorted samples. Main thread.
double percentile(std::vector<double> samples, double fraction) {
  const auto at = static_cast<size_t>(fraction * static_cast<double>(samples.size() - 1));
  std::nth_element(samples.begin(), samples.begin() + static_cast<long>(at), samples.end());
  return samples[at];
}

double microsecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

ShmMidiEvent volume(uint8_t value) { return {kMidiControlChange, 0, 7, 0, value, 0, {}}; }

// One host serving `frames`-frame blocks to a parent of the given kind.
class Session {
 public:
  Session(const Options& options, const Parent& parent, uint32_t frames, const std::vector<std::string>& plugin)
      : frames(frames),
        name("corvel-bench-" + std::to_string(currentProcessId()) + "-" + std::to_string(sessions++)),
        block(ClientBlock::create(name)) {
    if (!block) return;
    block->setWaitPolicy(parent.policy);
    std::vector<std::string> arguments{"--shm", name, "--open", "--block", std::to_string(frames)};
    arguments.insert(arguments.end(), plugin.begin(), plugin.end());
    arguments.insert(arguments.end(), parent.hostArguments.begin(), parent.hostArguments.end());
    host = ChildProcess::spawn({options.host, arguments, {}});
  }

  // Waits for the host to serve, then turns it loud: it renders without pause.
  bool startLoud() {
    if (!host || !host->waitForOutput("[corvel] panic after preset", kStartPatience) ||
        !block->writeMidi({volume(127)}, kPatience) || !awaitNext())
      return false;
    take();
    return true;
  }

  // The turnaround of each of `count` blocks; none when the host stops.
  std::vector<double> turnarounds(unsigned long count) {
    std::vector<double> micros;
    micros.reserve(count);
    if (!awaitNext()) return {};
    while (micros.size() < count) {
      const auto acknowledged = Clock::now();
      take();
      if (!awaitNext()) return {};
      micros.push_back(microsecondsSince(acknowledged));
    }
    return micros;
  }

  // Silences the host and takes blocks until a silent one, after which the
  // host idles. False when the host stops.
  bool quieten() {
    if (!block->writeMidi({volume(0)}, kPatience)) return false;
    do {
      if (!awaitNext()) return false;
    } while (take());
    return true;
  }

  // From the MIDI store to the first audible block seen, in µs; none when
  // the host stops.
  std::optional<double> noteOnFromIdle() {
    const auto stored = Clock::now();
    if (!block->writeMidi({volume(127)}, kPatience)) return std::nullopt;
    for (;;) {
      if (!awaitNext()) return std::nullopt;
      const double micros = microsecondsSince(stored);
      if (take()) return micros;
    }
  }

 private:
  // Waits for a block after the newest one taken; false when none comes.
  bool awaitNext() { return block->waitForRender(taken, kPatience); }

  // Takes the newest block and acknowledges it; true when it is audible.
  bool take() {
    taken = block->renderCount();
    const uint32_t buffer = loadAcquire(block->raw().frontIndex) & 1;
    const bool audible = block->raw().outLeft[buffer][0] != 0;
    block->acknowledge(buffer);
    return audible;
  }

  static inline unsigned sessions = 0;
  uint32_t frames;
  std::string name;
  std::unique_ptr<ClientBlock> block;
  std::unique_ptr<ChildProcess> host;
  uint32_t taken = 0;  // renderCount of the newest block taken
};

// Says why the measurement stopped; returns no samples. Main thread.
std::vector<double> failed(const char* why) {
  std::fprintf(stderr, "turnaround_bench: %s\n", why);
  return {};
}

std::vector<double> measureTurnarounds(const Options& options, const Parent& parent, uint32_t frames) {
  Session session(options, parent, frames, kRendering);
  if (!session.startLoud()) return failed("the host did not start serving");
  std::vector<double> micros = session.turnarounds(options.blocks);
  return micros.empty() ? failed("the host stopped rendering") : micros;
}

// Each trial starts after a random pause of up to one idle sleep and a bit.
std::vector<double> measureNoteOns(const Options& options, const Parent& parent) {
  Session session(options, parent, kNoteOnFrames, kIdling);
  if (!session.startLoud()) return failed("the host did not start serving");
  std::minstd_rand random(7);
  std::uniform_int_distribution<int> pauseMicros(1000, 17000);
  std::vector<double> micros;
  while (micros.size() < options.trials) {
    if (!session.quieten()) return failed("the host did not fall silent");
    std::this_thread::sleep_for(std::chrono::microseconds(pauseMicros(random)));
    const auto noteOn = session.noteOnFromIdle();
    if (!noteOn) return failed("the idle host did not answer the note");
    micros.push_back(*noteOn);
  }
  return micros;
}

// One line: "<label> <measure> <parent> <frames> frames: p50 <us> us, p99
// <us> us, max <us> us over <n> <unit>".
void print(const Options& options, const char* measure, const Parent& parent, uint32_t frames,
           const std::vector<double>& micros, const char* unit) {
  std::printf("%s %s %s %u frames: p50 %.1f us, p99 %.1f us, max %.1f us over %zu %s\n", options.label.c_str(),
              measure, parent.name, frames, percentile(micros, 0.50), percentile(micros, 0.99),
              *std::max_element(micros.begin(), micros.end()), micros.size(), unit);
  std::fflush(stdout);
}

}  // namespace
}  // namespace corvel

// Main thread.
int main(int argc, char** argv) {
  using namespace corvel;
  const auto options = parseOptions(argc, argv);
  if (!options) {
    std::fprintf(stderr, "usage: turnaround_bench [--blocks N] [--trials N] [--label NAME] [--host PATH]\n");
    return 2;
  }
  for (const Parent& parent : kParents) {
    for (const uint32_t frames : {32u, 64u, 256u}) {
      const std::vector<double> micros = measureTurnarounds(*options, parent, frames);
      if (micros.empty()) return 1;
      print(*options, "turnaround", parent, frames, micros, "blocks");
    }
  }
  for (const Parent& parent : {kParents[0], kParents[1]}) {
    const std::vector<double> micros = measureNoteOns(*options, parent);
    if (micros.empty()) return 1;
    print(*options, "note-on", parent, kNoteOnFrames, micros, "trials");
  }
  return 0;
}
