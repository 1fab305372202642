// A full-match regular-expression matcher with ECMAScript syntax on every platform:
// GoogleTest's own falls back to a bare subset (no classes, groups or alternation)
// where there is no POSIX regex, as on Windows. Test thread.
#pragma once

#include <gmock/gmock.h>

#include <string>

namespace corvel {

// Whether all of `text` matches `pattern`.
bool fullyMatches(const std::string& text, const std::string& pattern);

MATCHER_P(FullyMatches, pattern, "fully matches " + ::testing::PrintToString(pattern)) {
  return fullyMatches(std::string(arg), pattern);
}

}  // namespace corvel
