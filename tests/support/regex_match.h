// A full-match regular-expression matcher with ECMAScript syntax on every platform:
// GoogleTest's own falls back to a bare subset (no classes, groups or alternation)
// where there is no POSIX regex, as on Windows. Test thread.
#pragma once

#include <gmock/gmock.h>

#include <regex>
#include <string>

namespace corvel {

MATCHER_P(FullyMatches, pattern, "fully matches " + ::testing::PrintToString(pattern)) {
  return std::regex_match(std::string(arg), std::regex(pattern));
}

}  // namespace corvel
