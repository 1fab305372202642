// corvel-soak's command line, parsed strictly: a number that does not parse
// whole, or lies outside its range, is refused. One thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvel {

struct SoakOptions {
  std::string plugin, host, hostLog;
  bool vst2 = false, chaos = false, allowQuit = false, verbose = false;
  double seconds = 60;
  double sampleRate = 44100;
  uint32_t block = 256;
  // Sleeping at once leaves the core to others: a soak runs for hours beside other work.
  uint32_t spinMicroseconds = 0;
  uint64_t seed = 0;
  bool seedGiven = false;
};

enum class SoakCommand {
  kRun,
  kHelp,
  kRefused,  // `error` says why
};

struct SoakParse {
  SoakCommand command = SoakCommand::kRun;
  SoakOptions options;
  std::string error;
};

SoakParse parseSoakOptions(const std::vector<std::string>& arguments);

extern const char kSoakHelp[];

}  // namespace corvel
