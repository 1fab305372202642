// Start-up of a real corvel process: the time from spawning it to the first
// rendered block being there for the parent, for our journal fixture (almost
// no plug-in work) and for the SDK's mda module (34 classes, one instrument
// loaded). The block and a fresh HOME are made just before the spawn and are
// counted too. Bench thread.
#include <chrono>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "tests/support/corvel_session.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

void BM_SpawnToFirstBlock(benchmark::State& state, const std::vector<std::string>& arguments) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    Corvel host(arguments);
    if (!host.block || !host.process || !host.block->waitForRender(0, 20s))
      return state.SkipWithError("no first block");
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}
BENCHMARK_CAPTURE(BM_SpawnToFirstBlock, journal_fixture, {"--path", CORVEL_JOURNAL_VST3})
    ->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SpawnToFirstBlock, mda, {"--path", std::string(CORVEL_VST3_SAMPLES) + "/mda-vst3.vst3"})
    ->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvel

BENCHMARK_MAIN();
