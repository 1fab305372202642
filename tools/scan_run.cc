// Main thread throughout.
#include "tools/scan_run.h"

#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <sstream>

#include "client/child_process.h"
#include "tools/scan_child.h"
#include "tools/scan_json.h"

namespace corvel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kLogLines = 20;
constexpr auto kReapTimeout = std::chrono::seconds(5);

// What the child said through its marker lines; the last of each kind counts.
struct ChildReport {
  std::string format;
  std::optional<std::string> result, failure;
};

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Reads the marker lines out of `output` and keeps the others in `log`.
ChildReport readMarkers(const std::string& output, std::deque<std::string>& log) {
  ChildReport report;
  std::istringstream lines(output);
  std::string line;
  const size_t markerSize = std::strlen(kScanMarker);
  while (std::getline(lines, line)) {
    if (!startsWith(line, kScanMarker)) {
      if (!line.empty()) log.push_back(line);
      if (log.size() > kLogLines) log.pop_front();
      continue;
    }
    const std::string said = line.substr(markerSize);
    if (startsWith(said, kFormatLine)) report.format = said.substr(std::strlen(kFormatLine));
    if (startsWith(said, kResultLine)) report.result = said.substr(std::strlen(kResultLine));
    if (startsWith(said, kFailedLine)) report.failure = said.substr(std::strlen(kFailedLine));
  }
  return report;
}

std::string exitDescription(int code) {
  if (code >= 0) return "exited with code " + std::to_string(code);
  return "crashed with signal " + std::to_string(-code) + " (" + strsignal(-code) + ")";
}

bool isObject(const std::string& json) { return json.size() > 2 && json.front() == '{' && json.back() == '}'; }

// What went wrong, or empty when the child described the module.
std::string problemOf(int exitCode, const ChildReport& report) {
  if (exitCode != 0) return exitDescription(exitCode);
  if (report.failure) return *report.failure;
  if (!report.result || !isObject(*report.result)) return "the scan printed no result";
  return {};
}

std::string joined(const std::deque<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}

// An open object holding path, format and scanMs; the caller adds the rest.
JsonWriter entryHead(const ModuleEntry& module, const std::string& toldFormat, Clock::time_point start) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  const std::string format = toldFormat.empty() ? formatName(module.format) : toldFormat;
  JsonWriter json;
  json.beginObject().key("path").value(module.path).key("format");
  if (format == "auto") json.null();  // the child died before it could tell
  else json.value(format);
  json.key("scanMs").value(int64_t{elapsed.count()});
  return json;
}

ModuleReport failed(JsonWriter head, const std::string& problem, const std::string& log) {
  return {ModuleOutcome::kFailed, head.key("error").value(problem).key("log").value(log).endObject().text()};
}

}  // namespace

ModuleReport scanInChild(const ModuleEntry& module, const ScanSettings& settings) {
  const Clock::time_point start = Clock::now();
  const auto child =
      ChildProcess::spawn({settings.program, {kScanOneOption, formatName(module.format), module.path}, {}});
  if (!child) return failed(entryHead(module, "", start), "could not start a scanning process", "");
  std::optional<int> exit = child->waitExit(std::chrono::seconds(settings.timeoutSeconds));
  const bool timedOut = !exit;
  if (timedOut) {
    child->kill();
    exit = child->waitExit(kReapTimeout);
  }
  // Standard error first: the fatal report is the last line on standard output.
  std::deque<std::string> log;
  readMarkers(child->errors(), log);
  const ChildReport report = readMarkers(child->output(), log);
  JsonWriter head = entryHead(module, report.format, start);
  if (timedOut) return failed(head, "timed out after " + std::to_string(settings.timeoutSeconds) + " s", joined(log));
  const std::string problem = exit ? problemOf(*exit, report) : "could not be ended";
  if (!problem.empty()) return failed(head, problem, joined(log));
  return {ModuleOutcome::kScanned, head.text() + "," + report.result->substr(1)};
}

}  // namespace corvel
