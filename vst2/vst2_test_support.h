// Test helpers: fixture libraries, their reports, and captured log streams.
// Main thread.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
// GCC 12 at -O2 with the sanitizers warns inside <regex> itself.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <sstream>
#include <string>

#include "instrument/base64.h"
#include "tests/fixtures/vst2/fixture_report.h"
#include "vst2/vst2_instrument.h"

namespace corvel::testing {

inline std::string fixturePath(const std::string& name) {
  return std::string(VST2_FIXTURE_DIR) + "/vst2_fixture_" + name + VST2_FIXTURE_SUFFIX;
}

// Like GoogleTest's ContainsRegex, with the standard library's (ECMAScript)
// syntax on every platform: GoogleTest's own on Windows knows no brackets or counts.
MATCHER_P(ContainsStdRegex, pattern, std::string("contains regular expression \"") + pattern + "\"") {
  return std::regex_search(arg, std::regex(pattern));
}

// Redirects a standard stream into a string for the helper's lifetime.
class StreamCapture {
 public:
  explicit StreamCapture(std::ostream& stream) : stream(stream), previous(stream.rdbuf(text.rdbuf())) {}
  ~StreamCapture() { stream.rdbuf(previous); }
  std::string str() const { return text.str(); }

 private:
  std::ostringstream text;
  std::ostream& stream;
  std::streambuf* previous;
};

// The fixture's report, read back through the adapter's state text.
inline fixture::FixtureReport reportOf(Vst2Instrument& instrument) {
  instrument.captureState();
  std::vector<uint8_t> bytes;
  fixture::FixtureReport report{};
  EXPECT_TRUE(base64Decode(instrument.getSerializedState(), bytes));
  EXPECT_EQ(bytes.size(), sizeof report);
  if (bytes.size() == sizeof report) std::memcpy(&report, bytes.data(), sizeof report);
  return report;
}

// An adapter on channel 3 with a fixture loaded at 48 kHz, logs swallowed.
struct LoadedFixture {
  explicit LoadedFixture(const std::string& name) {
    StreamCapture out(std::cout), err(std::cerr);
    instrument.setChannel(3);
    loaded = instrument.loadPlugin(fixturePath(name), 48000.0);
  }
  Vst2Instrument instrument;
  bool loaded = false;
};

}  // namespace corvel::testing
