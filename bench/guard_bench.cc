// What the fault guard adds to one VST 2 dispatcher call: a dispatcher that
// does nothing but return, called directly and through guardedDispatch (jump
// target and the exception catch; the fault handlers stay installed from the
// first call on, and no signal mask is saved). Bench thread.
#include <benchmark/benchmark.h>

#include "vst2/vst2_crash_report.h"
#include "vst2/vst2_records.h"

namespace corvel {
namespace {

intptr_t answerIndex(vst2::AEffect*, int32_t, int32_t index, intptr_t, void*, float) { return index; }

vst2::AEffect trivialEffect() {
  vst2::AEffect effect{};
  effect.magic = vst2::kEffectMagic;
  effect.dispatcher = answerIndex;
  return effect;
}

void BM_DirectDispatch(benchmark::State& state) {
  vst2::AEffect effect = trivialEffect();
  vst2::AEffect* target = &effect;
  for (auto _ : state) {
    benchmark::DoNotOptimize(target);  // keeps the call indirect
    benchmark::DoNotOptimize(target->dispatcher(target, vst2::effEditIdle, 1, 0, nullptr, 0.0f));
  }
}
BENCHMARK(BM_DirectDispatch);

void BM_GuardedDispatch(benchmark::State& state) {
  vst2::AEffect effect = trivialEffect();
  vst2::AEffect* target = &effect;
  for (auto _ : state) {
    benchmark::DoNotOptimize(target);
    benchmark::DoNotOptimize(guardedDispatch(target, vst2::effEditIdle, 1, 0, nullptr, 0.0f, "effEditIdle", 0));
  }
}
BENCHMARK(BM_GuardedDispatch);

}  // namespace
}  // namespace corvel

BENCHMARK_MAIN();
