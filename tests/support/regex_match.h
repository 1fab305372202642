// Regular-expression matchers with ECMAScript syntax on every platform:
// GoogleTest's own fall back to a bare subset (no classes, counts, groups or
// alternation) where there is no POSIX regex, as on Windows. Test thread.
#pragma once

#include <gmock/gmock.h>

#include <string>

namespace corvel {

// Whether all of `text` matches `pattern`.
bool fullyMatches(const std::string& text, const std::string& pattern);
// Whether some part of `text` matches `pattern`.
bool containsMatch(const std::string& text, const std::string& pattern);

MATCHER_P(FullyMatches, pattern, "fully matches " + ::testing::PrintToString(pattern)) {
  return fullyMatches(std::string(arg), pattern);
}

MATCHER_P(ContainsStdRegex, pattern, "contains regular expression " + ::testing::PrintToString(pattern)) {
  return containsMatch(std::string(arg), pattern);
}

}  // namespace corvel
