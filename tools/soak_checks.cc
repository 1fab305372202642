#include "tools/soak_checks.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace corvel {

void BlockLedger::taken(uint32_t renderCount) {
  lostCount += static_cast<uint32_t>(renderCount - last - 1);
  last = renderCount;
  ++takenCount;
}

void BlockLedger::settle(uint32_t renderCount) {
  lostCount += static_cast<uint32_t>(renderCount - last);
  last = renderCount;
}

bool HeartbeatWatch::stalled(uint32_t beat, Clock::time_point now) {
  if (!lastChange || beat != lastBeat) {
    lastBeat = beat;
    lastChange = now;
  }
  return now - *lastChange >= kStillLimit;
}

void GrowthRule::sample(const ResourceSample& reading, bool warmedUp) {
  if (!warmedUp) return;
  if (!base) base = reading;
  latest = reading;
}

GrowthVerdict GrowthRule::verdict(bool judgeRss) const {
  if (!base) return GrowthVerdict::kFlat;
  if (fdGrowth() > 0) return GrowthVerdict::kFdsUnbounded;
  const int64_t allowance = std::max(kRssAllowanceKiB, base->rssKiB / 10);
  if (judgeRss && rssGrowthKiB() > allowance) return GrowthVerdict::kRssUnbounded;
  return GrowthVerdict::kFlat;
}

std::string sanitizerReport(const std::string& text) {
  static const char* const kMarkers[] = {"ERROR: AddressSanitizer", "runtime error:", "LeakSanitizer"};
  size_t first = std::string::npos;
  for (const char* marker : kMarkers) first = std::min(first, text.find(marker));
  if (first == std::string::npos) return "";
  const size_t begin = text.rfind('\n', first);
  const size_t start = begin == std::string::npos ? 0 : begin + 1;
  return text.substr(start, text.find('\n', first) - start);
}

size_t occurrences(const std::string& text, const std::string& line) {
  size_t count = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + line.size())) ++count;
  return count;
}

std::string firstLines(const std::string& text, size_t count) {
  size_t end = 0;
  for (size_t taken = 0; taken < count && end < text.size(); ++taken) {
    const size_t newline = text.find('\n', end);
    end = newline == std::string::npos ? text.size() : newline + 1;
  }
  return text.substr(0, end);
}

std::string lastLines(const std::string& text, size_t count) {
  size_t start = text.size();
  // A final newline ends the last line rather than starting an empty one.
  if (start > 0 && text[start - 1] == '\n') --start;
  for (size_t seen = 0; seen < count && start > 0; ++seen) {
    const size_t newline = text.rfind('\n', start - 1);
    start = newline == std::string::npos ? 0 : newline;
  }
  return text.substr(start > 0 ? start + 1 : 0);
}

std::string summaryLine(const SoakTotals& t) {
  char line[256];
  std::snprintf(line, sizeof line,
                "soak: %" PRIu64 " blocks, %" PRIu64 " presets, %" PRIu64 " commands, %" PRIu64
                " restarts, lost %" PRIu64 ", rss %+" PRId64 " KiB, fds %+" PRId64,
                t.blocks, t.presets, t.commands, t.restarts, t.lost, t.rssGrowthKiB, t.fdGrowth);
  return line;
}

}  // namespace corvel
