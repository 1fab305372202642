#include "tests/support/regex_match.h"

#include <regex>

namespace corvel {

bool fullyMatches(const std::string& text, const std::string& pattern) {
  return std::regex_match(text, std::regex(pattern));
}

bool containsMatch(const std::string& text, const std::string& pattern) {
  return std::regex_search(text, std::regex(pattern));
}

}  // namespace corvel
