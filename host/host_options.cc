#include "host/host_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>

#include "corvel/shm_block.h"

namespace corvel {
namespace {

// The options as given, before they are judged: the block size still wide.
struct Draft {
  HostOptions options;
  long long blockFrames = 256;
};

struct ValueOption {
  const char* name;
  std::function<void(Draft&, const char*)> apply;
};

const ValueOption kValueOptions[] = {
    {"--shm", [](Draft& d, const char* v) { d.options.shmName = v; }},
    {"--path", [](Draft& d, const char* v) { d.options.pluginPath = v; }},
    {"--sr", [](Draft& d, const char* v) { d.options.sampleRate = std::atof(v); }},
    {"--block", [](Draft& d, const char* v) { d.blockFrames = std::strtoll(v, nullptr, 10); }},
    {"--parent",
     [](Draft& d, const char* v) { d.options.parentPid = static_cast<uint32_t>(std::strtoul(v, nullptr, 0)); }},
    {"--channel", [](Draft& d, const char* v) { d.options.channel = static_cast<uint32_t>(std::atoi(v)); }},
    {"--presetfile", [](Draft& d, const char* v) { d.options.presetFile = v; }},
    {"--rt-priority", [](Draft& d, const char* v) { d.options.rtPriority = std::atoi(v); }},
    {"--spin-us", [](Draft& d, const char* v) { d.options.spinMicroseconds = static_cast<uint32_t>(std::atoi(v)); }},
};

Draft readArguments(int argc, const char* const* argv) {
  Draft draft;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--open") == 0) {
      draft.options.openExisting = true;
      continue;
    }
    if (std::strcmp(arg, "--vst2") == 0) {
      draft.options.vst2 = true;
      continue;
    }
    for (const ValueOption& option : kValueOptions) {
      if (std::strcmp(arg, option.name) != 0) continue;
      if (i + 1 < argc) option.apply(draft, argv[++i]);
      break;
    }
  }
  return draft;
}

template <class... Args>
std::string formatted(const char* format, Args... args) {
  char line[160];
  std::snprintf(line, sizeof line, format, args...);
  return line;
}

std::string blockSizeRefusal(long long frames) {
  return frames < 1 ? formatted("[corvel] block size %lld is below 1 frame\n", frames)
                    : formatted("[corvel] block size %lld exceeds the block's %u frames\n", frames, kMaxBlockFrames);
}

bool isServableRate(double rate) { return std::isfinite(rate) && rate >= kMinSampleRate && rate <= kMaxSampleRate; }

ParsedOptions refused(ParsedOptions parsed, OptionsStatus status, std::string line) {
  parsed.status = status;
  parsed.refusal = std::move(line);
  return parsed;
}

ParsedOptions judge(const Draft& draft) {
  ParsedOptions parsed{OptionsStatus::kValid, draft.options, {}};
  const bool blockFits = draft.blockFrames >= 1 && draft.blockFrames <= kMaxBlockFrames;
  if (blockFits) parsed.options.blockSize = static_cast<uint32_t>(draft.blockFrames);
  const HostOptions& o = parsed.options;
  if (o.shmName.empty() || o.pluginPath.empty()) return refused(parsed, OptionsStatus::kMissingName, kUsageLine);
  if (!blockFits) return refused(parsed, OptionsStatus::kBlockSizeOutOfRange, blockSizeRefusal(draft.blockFrames));
  if (!isServableRate(o.sampleRate))
    return refused(parsed, OptionsStatus::kSampleRateOutOfRange,
                   formatted("[corvel] sample rate %g is outside %.0f-%.0f Hz\n", o.sampleRate, kMinSampleRate,
                             kMaxSampleRate));
  return parsed;
}

}  // namespace

ParsedOptions parseHostOptions(int argc, const char* const* argv) { return judge(readArguments(argc, argv)); }

}  // namespace corvel
