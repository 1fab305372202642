#include "host/host_options.h"

#include <cstdlib>
#include <cstring>
#include <functional>

namespace corvel {
namespace {

struct ValueOption {
  const char* name;
  std::function<void(HostOptions&, const char*)> apply;
};

const ValueOption kValueOptions[] = {
    {"--shm", [](HostOptions& o, const char* v) { o.shmName = v; }},
    {"--path", [](HostOptions& o, const char* v) { o.pluginPath = v; }},
    {"--sr", [](HostOptions& o, const char* v) { o.sampleRate = std::atof(v); }},
    {"--block", [](HostOptions& o, const char* v) { o.blockSize = static_cast<uint32_t>(std::atoi(v)); }},
    {"--parent", [](HostOptions& o, const char* v) { o.parentPid = static_cast<uint32_t>(std::strtoul(v, nullptr, 0)); }},
    {"--channel", [](HostOptions& o, const char* v) { o.channel = static_cast<uint32_t>(std::atoi(v)); }},
    {"--presetfile", [](HostOptions& o, const char* v) { o.presetFile = v; }},
    {"--rt-priority", [](HostOptions& o, const char* v) { o.rtPriority = std::atoi(v); }},
    {"--spin-us", [](HostOptions& o, const char* v) { o.spinMicroseconds = static_cast<uint32_t>(std::atoi(v)); }},
};

}  // namespace

HostOptions parseHostOptions(int argc, const char* const* argv) {
  HostOptions options;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--open") == 0) {
      options.openExisting = true;
      continue;
    }
    if (std::strcmp(arg, "--vst2") == 0) {
      options.vst2 = true;
      continue;
    }
    for (const ValueOption& option : kValueOptions) {
      if (std::strcmp(arg, option.name) != 0) continue;
      if (i + 1 < argc) option.apply(options, argv[++i]);
      break;
    }
  }
  return options;
}

}  // namespace corvel
