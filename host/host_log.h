// Host log lines: printf-formatted on standard output, each starting
// "[corvel] ". Main thread.
#pragma once

#include <cstdio>

namespace corvel {

// Prints and flushes.
template <class... Args>
void hostLine(const char* format, Args... args) {
  std::printf(format, args...);
  std::fflush(stdout);
}

// Prints without flushing, for the last line before the process exits.
template <class... Args>
void hostFinalLine(const char* format, Args... args) {
  std::printf(format, args...);
}

}  // namespace corvel
