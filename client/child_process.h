// A child process whose standard output and standard error are captured
// into strings by a background thread, so the parent can wait for a log line
// while it drives the shared block. The owning thread calls everything but
// the readers (output, errors, waitForOutput, waitForError), which any thread may call.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace corvel {

class ChildProcess {
 public:
  struct Launch {
    std::string program;                // path of the executable
    std::vector<std::string> arguments; // without the program name
    std::vector<std::string> environment; // "NAME=value" set or overridden in the child
  };

  // Starts the program with stdin on the null device. Null when it cannot be spawned. Owner.
  static std::unique_ptr<ChildProcess> spawn(const Launch& launch);

  // Kills and reaps a child that is still running, and stops the reader. Owner.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  unsigned long pid() const { return processId; }

  // Everything captured so far. Any.
  std::string output() const;
  std::string errors() const;

  // True once the captured text contains `text`, false after `timeout`. Any.
  bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout) const;
  bool waitForError(const std::string& text, std::chrono::milliseconds timeout) const;

  // The exit code, -signal for a child killed by a signal, or nothing while
  // it still runs after `timeout`. Once it returns a value the output is complete. Owner.
  std::optional<int> waitExit(std::chrono::milliseconds timeout);

  // Sends `signal` (SIGKILL by default) unless the child has been reaped.
  // Windows has no signals: the child is terminated with exit code -signal. Owner.
  void kill(int signal = 9);

 private:
  ChildProcess(int pid, int outFd, int errFd);
  void readUntilClosed(int outFd, int errFd);
  // Sets exitCode once the child has ended, without waiting.
  void takeExitCode();
  bool waitFor(const std::string ChildProcess::*stream, const std::string& text,
               std::chrono::milliseconds timeout) const;

  int processId;
  void* processHandle = nullptr;  // where the system names processes by handle
  std::optional<int> exitCode;
  mutable std::mutex lock;
  mutable std::condition_variable grown;
  std::string capturedOut;
  std::string capturedErr;
  bool closed = false;
  std::thread reader;
};

}  // namespace corvel
