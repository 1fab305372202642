// Host log lines: printf-formatted on standard output, each starting
// "[corvel] ". Main thread.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace corvel {

// Prints and flushes. The compiler checks the arguments against the format.
[[gnu::format(printf, 1, 2)]] inline void hostLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

// Prints without flushing, for the last line before the process exits.
[[gnu::format(printf, 1, 2)]] inline void hostFinalLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
}

}  // namespace corvel
