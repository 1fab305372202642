// The judgements of corvel-soak that need no process: the account of
// blocks published and taken, the heartbeat watch, the growth rule for the
// host's memory and descriptors, the search for sanitizer reports, and the
// summary line. One thread (the soak's main thread).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace corvel {

// Every block the host counts in renderCount must be taken by the parent.
class BlockLedger {
 public:
  // `renderCount` as it stood before the host rendered anything for us.
  explicit BlockLedger(uint32_t renderCount = 0) : last(renderCount) {}

  // A block taken, announced by `renderCount`: any count skipped on the way
  // is a block published and overwritten before it was taken.
  void taken(uint32_t renderCount);
  // At the end, with the host quiet: what it counted beyond the last block taken.
  void settle(uint32_t renderCount);

  uint32_t lastCount() const { return last; }
  uint64_t blocks() const { return takenCount; }
  uint64_t lost() const { return lostCount; }

 private:
  uint32_t last;
  uint64_t takenCount = 0;
  uint64_t lostCount = 0;
};

// The heartbeat must move: a count that stays put this long is a host gone or hung.
class HeartbeatWatch {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kStillLimit{2};

  // Whether the beat has been still for kStillLimit as of `now`.
  bool stalled(uint32_t beat, Clock::time_point now);
  // A new host, or a new start of the watch. Its first observation sets the base.
  void restart() { lastChange.reset(); }

 private:
  uint32_t lastBeat = 0;
  std::optional<Clock::time_point> lastChange;
};

// One reading of the host's resident memory and open descriptors.
struct ResourceSample {
  int64_t rssKiB = 0;
  int64_t fds = 0;
};

enum class GrowthVerdict {
  kFlat,
  kRssUnbounded,
  kFdsUnbounded,
};

// Growth is measured from the first sample after the warm-up to the last one.
// Memory may breathe: it has grown without bound once it is up by more than
// max(8 MiB, 10 % of the warm-up reading). Descriptors may not grow at all.
class GrowthRule {
 public:
  static constexpr int64_t kRssAllowanceKiB = 8 * 1024;

  void sample(const ResourceSample& reading, bool warmedUp);
  bool hasBase() const { return base.has_value(); }
  int64_t rssGrowthKiB() const { return hasBase() ? latest.rssKiB - base->rssKiB : 0; }
  int64_t fdGrowth() const { return hasBase() ? latest.fds - base->fds : 0; }
  // `judgeRss` off where an allocator keeps freed memory on purpose (ASan's quarantine).
  GrowthVerdict verdict(bool judgeRss) const;

 private:
  std::optional<ResourceSample> base;
  ResourceSample latest;
};

// The first line of a sanitizer report in `text`, or empty when there is none.
std::string sanitizerReport(const std::string& text);

// How often `line` occurs in `text`.
size_t occurrences(const std::string& text, const std::string& line);

// The first and the last `count` lines of `text`.
std::string firstLines(const std::string& text, size_t count);
std::string lastLines(const std::string& text, size_t count);

struct SoakTotals {
  uint64_t blocks = 0;
  uint64_t presets = 0;
  uint64_t commands = 0;
  uint64_t restarts = 0;
  uint64_t lost = 0;
  int64_t rssGrowthKiB = 0;
  int64_t fdGrowth = 0;
};

// "soak: B blocks, P presets, C commands, R restarts, lost L, rss +K KiB, fds +F"
std::string summaryLine(const SoakTotals& totals);

}  // namespace corvel
