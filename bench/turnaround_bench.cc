// Turnaround through a real host process: the time from the parent's
// acknowledgement of one block to the host publishing the next, at 64 and
// 256 frames. The fake host renders at full level so it never idles.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "client/child_process.h"
#include "client/client_block.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

// The value at `fraction` of the sorted samples. Bench thread.
double percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0;
  const auto at = static_cast<size_t>(fraction * static_cast<double>(samples.size() - 1));
  std::nth_element(samples.begin(), samples.begin() + static_cast<long>(at), samples.end());
  return samples[at];
}

// Bench thread.
void BM_AcknowledgeToNextBlock(benchmark::State& state) {
  const auto frames = static_cast<uint32_t>(state.range(0));
  const std::string name = "corvel-bench-" + std::to_string(getpid()) + "-" + std::to_string(frames);
  auto block = ClientBlock::create(name);
  if (!block) return state.SkipWithError("cannot create the block");
  auto host = ChildProcess::spawn(
      {CORVEL_FAKEHOST_PATH, {"--shm", name, "--path", "fake.vst3", "--open", "--block", std::to_string(frames)}, {}});
  AudioBlock taken;
  const ShmMidiEvent loud{kMidiControlChange, 0, 7, 0, 127, 0, {}};
  if (!host || !host->waitForOutput("[corvel] panic after preset", 5s) || !block->writeMidi({loud}, 5s) ||
      !block->readBlock(frames, taken, 5s))
    return state.SkipWithError("host did not start serving");

  std::vector<double> micros;
  for (auto _ : state) {
    if (!block->readBlock(frames, taken, 5s)) return state.SkipWithError("host stopped rendering");
    const auto acknowledged = std::chrono::steady_clock::now();
    if (!block->waitForRender(taken.renderCount, 5s)) return state.SkipWithError("no next block");
    const std::chrono::duration<double> turnaround = std::chrono::steady_clock::now() - acknowledged;
    state.SetIterationTime(turnaround.count());
    micros.push_back(turnaround.count() * 1e6);
  }
  state.counters["p50_us"] = percentile(micros, 0.50);
  state.counters["p99_us"] = percentile(micros, 0.99);
  std::printf("turnaround %u frames: p50 %.1f us, p99 %.1f us over %zu blocks\n", frames,
              percentile(micros, 0.50), percentile(micros, 0.99), micros.size());
}
BENCHMARK(BM_AcknowledgeToNextBlock)->Arg(64)->Arg(256)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvel

BENCHMARK_MAIN();
