// Helpers for code that runs in a signal handler, or on a thread while
// another may hold any lock: nothing here allocates or locks. Internal to
// platform/, POSIX only. Any thread; async-signal-safe.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

namespace corvel {

// Writes all of `text`, retrying interrupted and partial writes; gives up
// quietly on any other failure, since there is nobody left to tell.
inline void writeAll(int fd, const char* text, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, text, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text += written;
    size -= static_cast<size_t>(written);
  }
}

// Copies `from` for later use by a handler; a text too long for `to`
// becomes empty, since a cut path could name another file. Not itself
// async-signal-safe: call it before the handler may run.
template <size_t N>
void copyWhole(char (&to)[N], const std::string& from) {
  const size_t length = from.size() < N ? from.size() : 0;
  std::memcpy(to, from.data(), length);
  to[length] = '\0';
}

}  // namespace corvel
