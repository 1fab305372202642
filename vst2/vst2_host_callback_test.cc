#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/library.h"
#include "vst2/vst2_test_support.h"

namespace corvel {
namespace {

using ::testing::ElementsAre;
using testing::fixturePath;
using testing::LoadedFixture;
using testing::reportOf;
using testing::StreamCapture;

// Keeps the fixture library loaded past the adapter's lifetime, so its
// globals can be read after teardown.
class Vst2HostCallback : public ::testing::Test {
 protected:
  void SetUp() override {
    library = loadLibrary(fixturePath("synth"));
    ASSERT_NE(library, nullptr);
    auto probeOf = reinterpret_cast<fixture::ProbeProc>(findSymbol(library, "fixtureProbe"));
    ASSERT_NE(probeOf, nullptr);
    StreamCapture out(std::cout), err(std::cerr);
    instrument->setChannel(3);
    ASSERT_TRUE(instrument->loadPlugin(fixturePath("synth"), 48000.0));
    ASSERT_TRUE(instrument->prepare(48000.0, 128));
    probe = probeOf();
  }
  void TearDown() override { freeLibrary(library); }

  intptr_t ask(vst2::AEffect* effect, int32_t opcode) {
    return probe.host(effect, opcode, 0, 0, nullptr, 0.0f);
  }

  LibraryHandle library = nullptr;
  std::unique_ptr<Vst2Instrument> instrument = std::make_unique<Vst2Instrument>();
  fixture::FixtureProbe probe{};
};

TEST_F(Vst2HostCallback, RegisteredEffectIsAnsweredForItsAdapterOnAnyThread) {
  std::thread other([&] {
    EXPECT_EQ(ask(probe.effect, vst2::audioMasterGetSampleRate), 48000);
    EXPECT_EQ(ask(probe.effect, vst2::audioMasterGetBlockSize), 128);
    EXPECT_EQ(ask(probe.effect, vst2::audioMasterCurrentId), 0x46695874);
    EXPECT_EQ(ask(nullptr, vst2::audioMasterGetBlockSize), 512);  // no adapter on this thread
  });
  other.join();
  EXPECT_EQ(ask(probe.effect, -1), 0);
  EXPECT_EQ(ask(probe.effect, vst2::audioMasterAutomate), 1);
}

TEST_F(Vst2HostCallback, TeardownSuspendsStopsClosesAndUnregisters) {
  const uint32_t before = probe.report->opcodeCount;
  instrument.reset();
  const auto& report = *probe.report;
  EXPECT_THAT(std::vector<int32_t>(report.opcodes + before, report.opcodes + report.opcodeCount),
              ElementsAre(12, 72, 1));
  EXPECT_EQ(report.mainsValue, 0);
  EXPECT_EQ(ask(probe.effect, vst2::audioMasterCurrentId), 0x4851505A);
}

TEST_F(Vst2HostCallback, ConcurrentTimeRequestsSeeWholeRecordsAndDistinctPositions) {
  constexpr int kRequests = 2000;
  std::vector<double> positions[2];
  auto requestMany = [&](std::vector<double>& seen) {
    for (int i = 0; i < kRequests; ++i) {
      const auto* time = reinterpret_cast<const vst2::VstTimeInfo*>(
          ask(probe.effect, vst2::audioMasterGetTime));
      EXPECT_DOUBLE_EQ(time->nanoSeconds, time->samplePos / 44100.0 * 1e9);
      EXPECT_EQ(time->tempo, 120.0);
      seen.push_back(time->samplePos);
    }
  };
  std::thread first(requestMany, std::ref(positions[0]));
  std::thread second(requestMany, std::ref(positions[1]));
  first.join();
  second.join();
  std::vector<double> all(positions[0]);
  all.insert(all.end(), positions[1].begin(), positions[1].end());
  std::sort(all.begin(), all.end());
  for (size_t i = 1; i < all.size(); ++i) EXPECT_EQ(all[i] - all[i - 1], 128.0);
}

// The fixture's own thread asks for the time, rate, block size and id from
// inside the entry point, through prepare, while this thread renders, until
// effClose; it counts what it found wrong (and ThreadSanitizer watches).
TEST(Vst2PluginThread, CallsBackWhileTheHostRendersAndIsStoppedByTeardown) {
  auto fixture = std::make_unique<LoadedFixture>("callback_thread");
  ASSERT_TRUE(fixture->loaded);
  Vst2Instrument& instrument = fixture->instrument;
  ASSERT_TRUE(instrument.prepare(48000.0, 64));
  {
    StreamCapture err(std::cerr);
    instrument.noteOn(0, 60, 1.0f, 0);
  }
  std::vector<float> left(64), right(64);
  const uint8_t noteOn[] = {0x90, 60};
  // Bounded, not timed: a starved plug-in thread fails the count below.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  fixture::FixtureReport report{};
  do {
    for (int block = 0; block < 32; ++block) instrument.process(left.data(), right.data(), 64);
    report = reportOf(instrument);
  } while (report.foreignRequests < 200 && std::chrono::steady_clock::now() < giveUp);
  EXPECT_GE(report.foreignRequests, 200u);
  EXPECT_EQ(report.foreignMismatches, 0u);
  EXPECT_EQ(report.timeMismatches, 0u);
  EXPECT_EQ(left[63], fixture::encodeLevel(0, noteOn));
  EXPECT_EQ(right[0], fixture::encodeLevel(1, noteOn));
  fixture.reset();  // effClose joins the plug-in's thread: returning at all is the check
}

}  // namespace
}  // namespace corvel
