// The VST 2 fixture's report read back from the base64 state text a host
// publishes or an adapter hands out (the fixture's chunk is its report).
// Test thread.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "instrument/base64.h"
#include "tests/fixtures/vst2/fixture_report.h"

namespace corvel {

inline fixture::FixtureReport decodeFixtureReport(const std::string& stateText) {
  std::vector<uint8_t> bytes;
  fixture::FixtureReport report{};
  EXPECT_TRUE(base64Decode(stateText, bytes));
  EXPECT_EQ(bytes.size(), sizeof report);
  if (bytes.size() == sizeof report) std::memcpy(&report, bytes.data(), sizeof report);
  return report;
}

}  // namespace corvel
