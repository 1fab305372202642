#include "vst2/vst2_instrument.h"

#include <gmock/gmock.h>

#include <cmath>

#include "platform/library.h"
#include "vst2/vst2_test_support.h"

namespace corvel {
namespace {

using ::testing::HasSubstr;
using ::testing::ElementsAre;
using testing::fixturePath;
using testing::LoadedFixture;
using testing::reportOf;
using testing::StreamCapture;

TEST(Vst2Load, LogsIdentityAndEntryTraffic) {
  Vst2Instrument instrument;
  instrument.setChannel(3);
  StreamCapture out(std::cout), err(std::cerr);
  ASSERT_TRUE(instrument.loadPlugin(fixturePath("synth"), 48000.0));
  EXPECT_EQ(out.str(), "[Vst2Instrument] loaded ch=3 corvel tests / fixture/synth 1 / Fixture Synth v7 "
                       "id=0x46695874 flags=0x30 ins=0 outs=2 progs=2 params=2 [" +
                           fixturePath("synth") + "]\n");
  EXPECT_THAT(err.str(), HasSubstr("[Vst2Instrument] calling VSTPluginMain...\n"
                                   "[Vst2Instrument] audioMaster op=1 idx=0 during VSTPluginMain\n"));
  EXPECT_THAT(err.str(), HasSubstr("[Vst2Instrument] audioMaster op=45 idx=0 during VSTPluginMain\n"));
  EXPECT_THAT(err.str(), ContainsStdRegex("VSTPluginMain returned fx=[0-9A-F]{16}\n"));
}

TEST(Vst2Load, HostAnswersDefaultsFromInsideEntryPoint) {
  LoadedFixture fixture("synth");
  ASSERT_TRUE(fixture.loaded);
  const auto entry = reportOf(fixture.instrument).entry;
  EXPECT_EQ(entry.version, 2400);
  EXPECT_EQ(entry.sampleRate, 44100);
  EXPECT_EQ(entry.blockSize, 512);
  EXPECT_EQ(entry.canDoTimeInfo, 1);
  EXPECT_EQ(entry.canDoUnknown, 0);
  EXPECT_EQ(entry.canDoNull, 0);
  EXPECT_EQ(entry.currentId, 0x4851505A);
  EXPECT_EQ(entry.sampleRateForOwnEffect, 44100);
  EXPECT_EQ(entry.beyondLastOpcode, 0);
  EXPECT_STREQ(entry.directory, VST2_FIXTURE_DIR);
}

struct LoadFailure {
  const char* variant;
  const char* line;
};

class Vst2LoadFailure : public ::testing::TestWithParam<LoadFailure> {};

TEST_P(Vst2LoadFailure, LogsReasonAndReleasesLibrary) {
  const std::string path = fixturePath(GetParam().variant);
  Vst2Instrument instrument;
  StreamCapture out(std::cout), err(std::cerr);
  EXPECT_FALSE(instrument.loadPlugin(path, 44100.0));
  EXPECT_THAT(err.str(), HasSubstr(std::string("[Vst2Instrument] ") + GetParam().line + path + "\n"));
  EXPECT_EQ(out.str(), "");
  EXPECT_FALSE(libraryIsLoaded(path));
  EXPECT_FALSE(instrument.prepare(44100.0, 256));
}

INSTANTIATE_TEST_SUITE_P(
    EachCheck, Vst2LoadFailure,
    ::testing::Values(LoadFailure{"no_entry", "no VSTPluginMain/main export: "},
                      LoadFailure{"null_entry", "VSTPluginMain returned NULL: "},
                      LoadFailure{"bad_magic", "bad AEffect magic 0x0 (want 0x56737450) in: "},
                      LoadFailure{"no_replacing", "plugin lacks CanReplacing: "}));

TEST(Vst2Load, FallsBackToTheOlderEntryName) {
  LoadedFixture fixture("main_entry");
  EXPECT_TRUE(fixture.loaded);
}

TEST(Vst2Load, MissingLibraryReportsSystemError) {
  Vst2Instrument instrument;
  StreamCapture err(std::cerr);
  EXPECT_FALSE(instrument.loadPlugin("/nonexistent/x.so", 44100.0));
  EXPECT_EQ(err.str(), "[Vst2Instrument] LoadLibraryA failed: /nonexistent/x.so (err=" VST2_MISSING_FILE_ERROR ")\n");
}

TEST(Vst2Prepare, SendsRateBlockOpenProgramResumeInOrder) {
  LoadedFixture fixture("synth");
  EXPECT_TRUE(fixture.instrument.prepare(48000.0, 256));
  const auto report = reportOf(fixture.instrument);
  EXPECT_THAT(std::vector<int32_t>(report.opcodes, report.opcodes + report.opcodeCount),
              ElementsAre(47, 48, 45, 10, 11, 0, 2, 12));
  EXPECT_EQ(report.sampleRate, 48000.0f);
  EXPECT_EQ(report.blockSize, 256);
}

TEST(Vst2Prepare, FaultInOpenIsContainedEveryTime) {
  LoadedFixture fixture("fault_in_open");
  ASSERT_TRUE(fixture.loaded);
  for (int attempt = 0; attempt < 2; ++attempt) {
    StreamCapture err(std::cerr);
    EXPECT_FALSE(fixture.instrument.prepare(44100.0, 128));
    EXPECT_EQ(err.str(), "[Vst2Instrument] init dispatcher EXCEPTION ch=3\n");
  }
  const auto report = reportOf(fixture.instrument);
  EXPECT_THAT(std::vector<int32_t>(report.opcodes, report.opcodes + report.opcodeCount),
              ElementsAre(47, 48, 45, 10, 11, 0, 10, 11, 0));
}

// The fixture's output turns NaN on note 100 and recovers once suspended.
TEST(Vst2Reset, StopsSuspendsResumesAndStartsThenWarmsUpAndPlaysAgain) {
  LoadedFixture fixture("poison_note");
  ASSERT_TRUE(fixture.instrument.prepare(48000.0, 64));
  StreamCapture err(std::cerr);
  fixture.instrument.noteOn(0, 100, 1.0f, 0);
  ASSERT_TRUE(std::isnan(fixture.render()));

  fixture.instrument.reset();
  const auto report = reportOf(fixture.instrument);
  const std::vector<int32_t> opcodes(report.opcodes, report.opcodes + report.opcodeCount);
  EXPECT_THAT(std::vector<int32_t>(opcodes.end() - 4, opcodes.end()), ElementsAre(72, 12, 12, 71));
  EXPECT_EQ(report.processCalls, 3u) << "a warm-up after the reset";
  const float level = fixture.render();
  EXPECT_TRUE(std::isfinite(level) && level != 0.0f);
}

}  // namespace
}  // namespace corvel
