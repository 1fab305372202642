// A progress bar on standard error, drawn only on a terminal and only when
// what it shows changes. Callers serialise their calls (one thread, or under
// their own lock).
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace corvel {

class ProgressBar {
 public:
  ProgressBar() : shown(isatty(STDERR_FILENO)) {}

  // `done` of `total`, and a note after the percentage.
  void update(uint64_t done, uint64_t total, const std::string& note = "") {
    const int percent = total ? static_cast<int>(done * 100 / total) : 100;
    if (!shown || (percent == lastPercent && note == lastNote)) return;
    lastPercent = percent;
    lastNote = note;
    std::fprintf(stderr, "\r[%-40s] %3d%%%s", std::string(static_cast<size_t>(percent * 40 / 100), '#').c_str(), percent,
                 note.c_str());
    if (done == total) std::fputc('\n', stderr);
  }

  // Wipes the bar so that a line can be printed in its place; the next
  // update draws it again.
  void clear() {
    if (!shown || lastPercent < 0) return;
    std::fputs("\r\033[K", stderr);
    lastPercent = -1;
  }

 private:
  bool shown;
  int lastPercent = -1;
  std::string lastNote;
};

}  // namespace corvel
