// A child process whose standard output and standard error are captured
// into strings by a background thread, so the parent can wait for a log line
// while it drives the shared block. A host may run for hours and log a line
// per note, so only the newest part of each stream is kept. The owning
// thread calls everything but the readers (output, errors, outputSince,
// waitForOutput, waitForError), which any thread may call.
#pragma once

#include <chrono>
#include <cstdint>
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

  // How much of each stream is kept by default.
  static constexpr size_t kKeptBytes = 256 * 1024;

  // Starts the program with stdin on the null device, keeping at most the
  // last `keptBytes` of each stream. Null when it cannot be spawned. Owner.
  static std::unique_ptr<ChildProcess> spawn(const Launch& launch, size_t keptBytes = kKeptBytes);

  // Kills and reaps a child that is still running, and stops the reader. Owner.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  unsigned long pid() const { return processId; }

  // The kept tail of what was captured so far: whole lines, unless a single
  // line outgrew the limit. Any.
  std::string output() const;
  std::string errors() const;

  // The output captured after the absolute offset `position` (counted from
  // the child's first byte), or the whole kept tail when part of that text
  // is no longer kept; moves `position` to the end of what was captured. Any.
  std::string outputSince(uint64_t& position) const;
  // The position after the last byte of output captured so far. Any.
  uint64_t outputEnd() const;

  // True once the kept tail contains `text`, false after `timeout`. Any.
  bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout) const;
  bool waitForError(const std::string& text, std::chrono::milliseconds timeout) const;

  // The exit code, -signal for a child killed by a signal, or nothing while
  // it still runs after `timeout`. Once it returns a value the output is complete. Owner.
  std::optional<int> waitExit(std::chrono::milliseconds timeout);

  // Sends `signal` (SIGKILL by default) unless the child has been reaped.
  // Windows has no signals: the child is terminated with exit code -signal. Owner.
  void kill(int signal = 9);

 private:
  // One stream: its newest part, and how many bytes it ever had.
  // Callers hold the lock.
  class Captured {
   public:
    explicit Captured(size_t keptBytes) : limit(keptBytes) {}
    // Appends and trims whole lines from the front once over the limit,
    // down to three quarters of it, so that each byte moves few times.
    void append(const char* data, size_t size);
    const std::string& text() const { return kept; }
    std::string since(uint64_t& position) const;
    uint64_t end() const { return total; }

   private:
    size_t limit;
    std::string kept;
    uint64_t total = 0;
  };

  ChildProcess(int pid, int outFd, int errFd, size_t keptBytes);
  void readUntilClosed(int outFd, int errFd);
  // Sets exitCode once the child has ended, without waiting.
  void takeExitCode();
  bool waitFor(const Captured ChildProcess::*stream, const std::string& text,
               std::chrono::milliseconds timeout) const;

  int processId;
  void* processHandle = nullptr;  // where the system names processes by handle
  std::optional<int> exitCode;
  mutable std::mutex lock;
  mutable std::condition_variable grown;
  Captured capturedOut;
  Captured capturedErr;
  bool closed = false;
  std::thread reader;
};

}  // namespace corvel
