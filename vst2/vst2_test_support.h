// Test helpers: fixture libraries, their reports, and captured log streams.
// Main thread.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fixtures/vst2/fixture_report.h"
#include "tests/support/fixture_report_reader.h"
#include "tests/support/regex_match.h"
#include "vst2/vst2_instrument.h"

namespace corvel::testing {

inline std::string fixturePath(const std::string& name) {
  return std::string(VST2_FIXTURE_DIR) + "/vst2_fixture_" + name + VST2_FIXTURE_SUFFIX;
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
  return decodeFixtureReport(instrument.getSerializedState());
}

// An adapter on channel 3 with a fixture loaded at 48 kHz, logs swallowed.
struct LoadedFixture {
  explicit LoadedFixture(const std::string& name) {
    StreamCapture out(std::cout), err(std::cerr);
    instrument.setChannel(3);
    loaded = instrument.loadPlugin(fixturePath(name), 48000.0);
  }
  // One block of `frames` into the buffers below; its first left sample.
  float render(int32_t frames = 64) {
    left.resize(static_cast<size_t>(frames));
    right.resize(static_cast<size_t>(frames));
    instrument.process(left.data(), right.data(), frames);
    return left[0];
  }

  Vst2Instrument instrument;
  bool loaded = false;
  std::vector<float> left, right;
};

}  // namespace corvel::testing
