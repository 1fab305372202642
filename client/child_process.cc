// The parts of ChildProcess that every platform shares: the captured text,
// waiting for it and for the exit.
#include <algorithm>

#include "client/child_environment.h"
#include "client/child_process.h"
#include "client/wait_until.h"

namespace corvel {
namespace {

std::string variableName(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

std::vector<std::string> childEnvironment(const std::vector<std::string>& inherited,
                                          const std::vector<std::string>& overrides) {
  std::vector<std::string> result(overrides);
  for (const std::string& entry : inherited) {
    const std::string name = variableName(entry);
    const bool overridden = std::any_of(overrides.begin(), overrides.end(),
                                        [&](const std::string& o) { return variableName(o) == name; });
    if (!overridden) result.push_back(entry);
  }
  return result;
}

void ChildProcess::Captured::append(const char* data, size_t size) {
  kept.append(data, size);
  total += size;
  if (kept.size() <= limit) return;
  const size_t excess = kept.size() - limit * 3 / 4;
  // At the first line start from there on; mid-line when only the last line remains.
  const size_t lineEnd = kept.find('\n', excess - 1);
  kept.erase(0, lineEnd < kept.size() - 1 ? lineEnd + 1 : excess);
}

std::string ChildProcess::Captured::since(uint64_t& position) const {
  const uint64_t first = total - kept.size();
  const size_t from = static_cast<size_t>(std::clamp(position, first, total) - first);
  position = total;
  return kept.substr(from);
}

std::string ChildProcess::output() const {
  std::lock_guard<std::mutex> guard(lock);
  return capturedOut.text();
}

std::string ChildProcess::errors() const {
  std::lock_guard<std::mutex> guard(lock);
  return capturedErr.text();
}

std::string ChildProcess::outputSince(uint64_t& position) const {
  std::lock_guard<std::mutex> guard(lock);
  return capturedOut.since(position);
}

uint64_t ChildProcess::outputEnd() const {
  std::lock_guard<std::mutex> guard(lock);
  return capturedOut.end();
}

bool ChildProcess::waitFor(const Captured ChildProcess::*stream, const std::string& text,
                           std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> guard(lock);
  auto found = [&] { return (this->*stream).text().find(text) != std::string::npos; };
  return grown.wait_for(guard, timeout, [&] { return found() || closed; }) && found();
}

bool ChildProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) const {
  return waitFor(&ChildProcess::capturedOut, text, timeout);
}

bool ChildProcess::waitForError(const std::string& text, std::chrono::milliseconds timeout) const {
  return waitFor(&ChildProcess::capturedErr, text, timeout);
}

std::optional<int> ChildProcess::waitExit(std::chrono::milliseconds timeout) {
  waitUntil(
      [this] {
        takeExitCode();
        return exitCode.has_value();
      },
      timeout);
  // The pipes close when the child (and anything it left holding them) is gone.
  if (exitCode && reader.joinable()) reader.join();
  return exitCode;
}

}  // namespace corvel
