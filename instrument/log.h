// Adapter log lines: one line per event, a bracketed prefix naming the
// writer, flushed the moment it is complete. Successes go to standard output,
// failures and traces to standard error. Any thread that the caller has
// serialised (in practice: main).
#pragma once

#include <cstdint>
#include <iostream>

namespace corvel::log {

// Written as lower-case hexadecimal without padding or prefix; the stream is
// back in decimal right after the value.
struct Hex {
  uint64_t value;
};
std::ostream& operator<<(std::ostream& out, Hex hex);

// Written as 16 upper-case hexadecimal digits with leading zeros, no prefix.
struct Ptr {
  const void* address;
};
std::ostream& operator<<(std::ostream& out, Ptr ptr);

template <class... Pieces>
void line(std::ostream& stream, const Pieces&... pieces) {
  (stream << ... << pieces) << std::endl;
}

template <class... Pieces>
void out(const Pieces&... pieces) {
  line(std::cout, pieces...);
}

template <class... Pieces>
void err(const Pieces&... pieces) {
  line(std::cerr, pieces...);
}

}  // namespace corvel::log
