#include "client/session_launch.h"

#include <atomic>
#include <cmath>
#include <filesystem>

#include "platform/module_path.h"
#include "platform/system.h"

namespace corvel {
namespace {

// SCHED_FIFO's highest priority, which the host asks for as given.
constexpr int32_t kHighestPriority = 99;
// How much of each of the host's streams a failure keeps.
constexpr size_t kLogLines = 20;

std::atomic<uint32_t> sessionsCreated{0};

bool isFile(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(path, error);
}

// The last `count` lines of `text`, each ending in a line feed.
std::string lastLines(const std::string& text, size_t count) {
  size_t start = text.size();
  if (start > 0 && text.back() == '\n') --start;
  for (size_t seen = 0; start > 0; --start) {
    if (text[start - 1] == '\n' && ++seen == count) break;
  }
  std::string tail = text.substr(start);
  if (!tail.empty() && tail.back() != '\n') tail += '\n';
  return tail;
}

}  // namespace

std::string optionsProblem(const SessionOptions& o) {
  if (o.plugin.empty()) return "no plug-in path";
  if (!std::isfinite(o.sampleRate) || o.sampleRate < kMinSampleRate || o.sampleRate > kMaxSampleRate)
    return "sample rate " + std::to_string(o.sampleRate) + " is outside 1000-1000000 Hz";
  if (o.blockFrames < 1 || o.blockFrames > kMaxBlockFrames)
    return "block size " + std::to_string(o.blockFrames) + " is outside 1-256 frames";
  if (o.spin.count() < 0 || o.rtPriority < 0 || o.rtPriority > kHighestPriority)
    return "spin below 0 or real-time priority outside 0-99";
  if (o.startLimit.count() <= 0 || o.hangLimit.count() <= 0) return "start and hang limits must be positive";
  for (const std::string& entry : o.environment)
    if (entry.find('=') == std::string::npos || entry.front() == '=')
      return "environment entry without NAME=: " + entry;
  return {};
}

std::string hostExecutable(const SessionOptions& options) {
  if (!options.hostPath.empty()) return options.hostPath;
  const std::string name = executableFileName("corvel");
  const std::string folder = thisModuleFolder();
  if (!folder.empty()) {
    for (const std::string& candidate : {folder + "/" + name, folder + "/../bin/" + name})
      if (isFile(candidate)) return candidate;
  }
  const std::string found = findOnSearchPath(name);
  return found.empty() ? name : found;
}

std::string unusedBlockName() {
  std::string name;
  do name = "corvel-session-" + std::to_string(currentProcessId()) + "-" + std::to_string(++sessionsCreated);
  while (ClientBlock::attach(name));
  return name;
}

std::vector<std::string> hostArguments(const SessionOptions& o, const std::string& blockName) {
  std::vector<std::string> args{"--shm",    blockName,          "--path",  o.plugin,
                                "--sr",     std::to_string(o.sampleRate), "--block", std::to_string(o.blockFrames),
                                "--parent", std::to_string(currentProcessId()), "--open"};
  if (o.vst2) args.push_back("--vst2");
  if (o.spin.count() > 0) args.insert(args.end(), {"--spin-us", std::to_string(o.spin.count())});
  if (o.rtPriority > 0) args.insert(args.end(), {"--rt-priority", std::to_string(o.rtPriority)});
  if (!o.presetFile.empty()) args.insert(args.end(), {"--presetfile", o.presetFile});
  return args;
}

SessionError describeFailure(const std::string& message, std::optional<int> ending, const std::string& output,
                             const std::string& errors) {
  SessionError error;
  error.message = message;
  if (ending && *ending < 0) {
    error.signal = -*ending;
    error.message += " (killed by signal " + std::to_string(-*ending) + ")";
  } else if (ending) {
    error.exitCode = *ending;
    error.message += " (exit code " + std::to_string(*ending) + ")";
  }
  error.hostLog = lastLines(output, kLogLines) + lastLines(errors, kLogLines);
  return error;
}

}  // namespace corvel
