// Numbers on the tools' command lines: the whole argument or nothing, so
// "12abc", "1e300" for an integer or "inf" never pass as a value. Any thread.
#pragma once

#include <charconv>
#include <cmath>
#include <string>

namespace corvel {

// The whole text as one number, nothing before or after it.
template <class Number>
bool parseExact(const std::string& text, Number& out) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, out);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// parseExact for a measure, which must also be finite.
inline bool parseReal(const std::string& text, double& out) { return parseExact(text, out) && std::isfinite(out); }

}  // namespace corvel
