// Turnaround through a real host process: the time from the parent's
// acknowledgement of one block to the host publishing the next, at 64 and
// 256 frames. The fake host renders at full level so it never idles.
// Prints one line of figures per frame size, led by a label naming where it
// ran, so runs on several platforms can be set side by side:
//   turnaround_bench [--blocks N] [--label NAME]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "client/child_process.h"
#include "client/client_block.h"
#include "platform/system.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

struct Options {
  unsigned long blocks = 2000;
  std::string label = CORVEL_BENCH_LABEL;
};

// Null on an unknown option or a missing or zero value. Main thread.
std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--blocks")
      options.blocks = std::strtoul(argv[i + 1], nullptr, 10);
    else if (option == "--label")
      options.label = argv[i + 1];
    else
      return std::nullopt;
  }
  if (argc % 2 == 0 || options.blocks == 0) return std::nullopt;
  return options;
}

// The value at `fraction` of the sorted samples. Main thread.
double percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0;
  const auto at = static_cast<size_t>(fraction * static_cast<double>(samples.size() - 1));
  std::nth_element(samples.begin(), samples.begin() + static_cast<long>(at), samples.end());
  return samples[at];
}

// Says why the measurement stopped; returns no samples. Main thread.
std::vector<double> failed(const char* why) {
  std::fprintf(stderr, "turnaround_bench: %s\n", why);
  return {};
}

// Starts a fake host serving `frames`-frame blocks and returns the turnaround
// of each of `blocks` blocks in milliseconds; none when it fails. Main thread.
std::vector<double> measureTurnarounds(uint32_t frames, unsigned long blocks) {
  const std::string name =
      "corvel-bench-" + std::to_string(currentProcessId()) + "-" + std::to_string(frames);
  auto block = ClientBlock::create(name);
  if (!block) return failed("cannot create the block");
  auto host = ChildProcess::spawn(
      {CORVEL_FAKEHOST_PATH, {"--shm", name, "--path", "fake.vst3", "--open", "--block", std::to_string(frames)}, {}});
  AudioBlock taken;
  const ShmMidiEvent loud{kMidiControlChange, 0, 7, 0, 127, 0, {}};
  if (!host || !host->waitForOutput("[corvel] panic after preset", 5s) || !block->writeMidi({loud}, 5s) ||
      !block->readBlock(frames, taken, 5s))
    return failed("the host did not start serving");

  std::vector<double> millis;
  millis.reserve(blocks);
  while (millis.size() < blocks) {
    if (!block->readBlock(frames, taken, 5s)) return failed("the host stopped rendering");
    const auto acknowledged = std::chrono::steady_clock::now();
    if (!block->waitForRender(taken.renderCount, 5s)) return failed("no next block");
    const std::chrono::duration<double, std::milli> turnaround = std::chrono::steady_clock::now() - acknowledged;
    millis.push_back(turnaround.count());
  }
  return millis;
}

}  // namespace
}  // namespace corvel

// Main thread.
int main(int argc, char** argv) {
  const auto options = corvel::parseOptions(argc, argv);
  if (!options) {
    std::fprintf(stderr, "usage: turnaround_bench [--blocks N] [--label NAME]\n");
    return 2;
  }
  for (const uint32_t frames : {64u, 256u}) {
    const std::vector<double> millis = corvel::measureTurnarounds(frames, options->blocks);
    if (millis.empty()) return 1;
    std::printf("%s %u frames: p50 %.3f ms, p99 %.3f ms, max %.3f ms over %zu blocks\n", options->label.c_str(),
                frames, corvel::percentile(millis, 0.50), corvel::percentile(millis, 0.99),
                *std::max_element(millis.begin(), millis.end()), millis.size());
    std::fflush(stdout);
  }
  return 0;
}
