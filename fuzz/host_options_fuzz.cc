// parseHostOptions over argument vectors cut from the input at NUL bytes,
// after a program name: a valid result has a block size and a sample rate
// the host can serve, a refusal says why in exactly one line. Called by
// libFuzzer on the main thread.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/host_options.h"
#include "corvel/shm_block.h"

namespace {

using corvel::OptionsStatus;

std::vector<std::string> argumentsOf(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments{"corvel"};
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != 0) {
      current += static_cast<char>(data[i]);
      continue;
    }
    arguments.push_back(current);
    current.clear();
  }
  arguments.push_back(current);
  return arguments;
}

bool isOneLine(const std::string& line) {
  return !line.empty() && line.back() == '\n' && std::count(line.begin(), line.end(), '\n') == 1;
}

void checkValid(const corvel::HostOptions& options) {
  if (options.shmName.empty() || options.pluginPath.empty()) __builtin_trap();
  if (options.blockSize < 1 || options.blockSize > corvel::kMaxBlockFrames) __builtin_trap();
  const double rate = options.sampleRate;
  if (!std::isfinite(rate) || rate < corvel::kMinSampleRate || rate > corvel::kMaxSampleRate) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> arguments = argumentsOf(data, size);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  const corvel::ParsedOptions parsed = corvel::parseHostOptions(static_cast<int>(argv.size()), argv.data());
  if (parsed.status == OptionsStatus::kValid) {
    if (!parsed.refusal.empty()) __builtin_trap();
    checkValid(parsed.options);
  } else if (!isOneLine(parsed.refusal)) {
    __builtin_trap();
  }
  return 0;
}
