#include "tools/render_batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "tools/progress_bar.h"

namespace corvel {
namespace {

// What the workers share: the next job to take, and the tally and the
// terminal, under one lock.
class Batch {
 public:
  Batch(const std::vector<JobLine>& jobs, bool verbose) : jobs(jobs), verbose(verbose) {}

  // Takes jobs until none is left. Any thread.
  void work() {
    for (size_t index = next++; index < jobs.size(); index = next++) {
      const JobOutcome outcome = renderJob(jobs[index].job, [](uint64_t, uint64_t) {});
      report(jobs[index], outcome);
    }
  }

  // Main thread, once the workers are done.
  BatchStatus summarise(double wallSeconds) const {
    std::printf("corvel-render: %zu done, %zu failed, %.2f s of audio in %.2f s (%.2f audio s per wall s)\n", done,
                failed, audioSeconds, wallSeconds, wallSeconds > 0 ? audioSeconds / wallSeconds : 0.0);
    return failed == 0 ? BatchStatus::kAllDone : BatchStatus::kSomeFailed;
  }

 private:
  void report(const JobLine& line, const JobOutcome& outcome) {
    const std::lock_guard<std::mutex> lock(mutex);
    bar.clear();
    if (outcome.status == JobStatus::kDone) {
      ++done;
      audioSeconds += outcome.audioSeconds;
      std::printf("%s\n", outcomeLine(line.job, outcome).c_str());
      std::fflush(stdout);
    } else {
      ++failed;
      std::fprintf(stderr, "corvel-render: job on line %zu (%s) failed: %s\n", line.line, line.job.out.c_str(),
                   outcome.why.c_str());
      if (verbose) std::fputs(outcome.hostLog.c_str(), stderr);
    }
    const std::string note = "  " + std::to_string(done + failed) + "/" + std::to_string(jobs.size()) + " jobs, " +
                             std::to_string(failed) + " failed";
    bar.update(done + failed, jobs.size(), note);
  }

  const std::vector<JobLine>& jobs;
  const bool verbose;
  std::atomic<size_t> next{0};
  std::mutex mutex;
  ProgressBar bar;
  size_t done = 0, failed = 0;
  double audioSeconds = 0;
};

}  // namespace

BatchStatus runBatch(const std::vector<JobLine>& jobs, uint32_t workers, bool verbose) {
  const auto started = std::chrono::steady_clock::now();
  Batch batch(jobs, verbose);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < std::min<size_t>(workers, jobs.size()); ++i) threads.emplace_back([&batch] { batch.work(); });
  for (std::thread& thread : threads) thread.join();
  return batch.summarise(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

}  // namespace corvel
