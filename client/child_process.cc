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

std::string ChildProcess::output() const {
  std::lock_guard<std::mutex> guard(lock);
  return capturedOut;
}

std::string ChildProcess::errors() const {
  std::lock_guard<std::mutex> guard(lock);
  return capturedErr;
}

bool ChildProcess::waitFor(const std::string ChildProcess::*stream, const std::string& text,
                           std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> guard(lock);
  return grown.wait_for(guard, timeout,
                        [&] { return (this->*stream).find(text) != std::string::npos || closed; }) &&
         (this->*stream).find(text) != std::string::npos;
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
