// corvel-soak: a parent that drives one corvel host for a long time with
// random traffic (or hostile values, --chaos) and checks that no block is
// lost, every sample is finite, the heartbeat beats and nothing leaks.
#include <csignal>
#include <cstdio>
#include <random>

#include "tools/soak_options.h"
#include "tools/soak_run.h"

namespace {

std::atomic<bool> gInterrupted{false};

// Ending the run in order is what removes the block: a signal only asks for it.
void onInterrupt(int) { gInterrupted = true; }

}  // namespace

int main(int argc, char** argv) {
  const corvel::SoakParse parse = corvel::parseSoakOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parse.command == corvel::SoakCommand::kHelp) return std::fputs(corvel::kSoakHelp, stdout), 0;
  if (parse.command == corvel::SoakCommand::kRefused) {
    std::fprintf(stderr, "corvel-soak: %s\n%s", parse.error.c_str(), corvel::kSoakHelp);
    return 2;
  }
  const uint64_t seed = parse.options.seedGiven ? parse.options.seed : std::random_device{}();
  std::printf("corvel-soak: seed %llu\n", static_cast<unsigned long long>(seed));
  std::fflush(stdout);
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
  std::signal(SIGHUP, onInterrupt);
  return corvel::SoakRun(parse.options, seed, gInterrupted).run();
}
