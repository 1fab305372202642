// Costs of the host itself: one service-loop pass around an instrument that
// renders nothing, and the processor time a silent, idle host process spends.
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "bench/process_cpu.h"
#include "client/child_process.h"
#include "corvel/client_block.h"
#include "host/host_fixture.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

// Bench thread. A full pass with a block handed over: no parent wait, since
// the fixture acknowledges far ahead; the yield at the end is included.
void BM_ServiceLoopPass(benchmark::State& state) {
  HostOptions options;
  options.blockSize = static_cast<uint32_t>(state.range(0));
  HostFixture host(options);
  host.instrument.recordRenders = false;
  host.instrument.level = 1.0f;  // loud, so the loop never idles
  for (auto _ : state) benchmark::DoNotOptimize(host.loop.runPass());
}
BENCHMARK(BM_ServiceLoopPass)->Arg(64)->Arg(256);

// Bench thread. Reports the idle host's processor share over 10 s.
void BM_IdleHostCpu(benchmark::State& state) {
  const std::string name = "corvel-bench-idle-" + std::to_string(getpid());
  auto block = ClientBlock::create(name);
  auto host = ChildProcess::spawn({CORVEL_FAKEHOST_PATH, {"--shm", name, "--path", "fake", "--open"}, {}});
  AudioBlock first;
  if (!block || !host || !host->waitForOutput("[corvel] panic after preset", 5s) || !block->readBlock(256, first, 5s))
    return state.SkipWithError("the fake host did not start");
  for (auto _ : state) {
    const double before = cpuSeconds(host->pid());
    std::this_thread::sleep_for(10s);
    state.counters["cpu_percent"] = (cpuSeconds(host->pid()) - before) / 10.0 * 100.0;
  }
}
BENCHMARK(BM_IdleHostCpu)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace corvel

BENCHMARK_MAIN();
