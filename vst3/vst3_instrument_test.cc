#include "vst3/vst3_instrument.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "instrument/base64.h"
#include "platform/system.h"
#include "tests/support/regex_match.h"
#include "vst3/captured_log.h"

namespace corvel {
namespace {

using ::testing::HasSubstr;

constexpr int32_t kBlock = 256;

std::string mdaPath() { return std::string(CORVEL_VST3_SAMPLES_DIR) + "/mda-vst3.vst3"; }

std::string layoutText(const std::vector<uint8_t>& layout) {
  return base64Encode(layout.data(), layout.size());
}

class Vst3MdaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(mdaPath())) GTEST_SKIP() << "run scripts/setup.d/30-vst3sdk.sh";
    instrument.setChannel(3);
    instrument.prepare(44100.0, kBlock);
    ASSERT_TRUE(instrument.loadPlugin(mdaPath(), 44100.0));
    loadLine = log.takeOut();
    log.takeErr();
  }

  // RMS of the left channel over `blocks` blocks.
  double render(int blocks) {
    std::vector<float> left(kBlock), right(kBlock);
    double sum = 0;
    for (int b = 0; b < blocks; ++b) {
      instrument.process(left.data(), right.data(), kBlock);
      for (float sample : left) sum += double(sample) * sample;
    }
    return std::sqrt(sum / (blocks * kBlock));
  }

  CapturedLog log;
  Vst3Instrument instrument;
  std::string loadLine;
};

TEST_F(Vst3MdaTest, PicksAnInstrumentFromTheMixedModuleAndPlaysANote) {
  EXPECT_THAT(loadLine, FullyMatches("\\[Vst3Instrument\\] loaded .*mda-vst3\\.vst3 "
                                     "\\(mda (DX10|EPiano|JX10|Piano)\\) outCh=2\n"));
  EXPECT_TRUE(instrument.loadPlugin("/nonexistent", 44100.0)) << "second load is a no-op";
  EXPECT_EQ(render(2), 0.0);
  instrument.noteOn(0, 60, 0.8f, 0);
  EXPECT_GT(render(100), 0.001);
}

TEST_F(Vst3MdaTest, SuspendedBlocksKeepQueuedNotes) {
  instrument.setSuspended(true);
  instrument.noteOn(0, 64, 1.0f, 0);
  std::vector<float> left(kBlock, 5.0f), right(kBlock, 5.0f);
  instrument.process(left.data(), right.data(), kBlock);
  EXPECT_EQ(left[0], 5.0f) << "suspended blocks leave the buffers alone";
  instrument.setSuspended(false);
  EXPECT_GT(render(100), 0.001);
}

TEST_F(Vst3MdaTest, NoteIdsPairEveryReleaseWithItsNotes) {
  const std::string pid = std::to_string(int32_t(currentProcessId()));
  instrument.noteOn(2, 60, 0.5f, 0);
  instrument.noteOn(2, 60, 0.25f, 0);
  instrument.noteOff(2, 60, 0);
  instrument.noteOff(2, 60, 0);
  instrument.noteOff(2, 130, 0);
  EXPECT_EQ(log.takeErr(), "[midi] pid=" + pid + " ON ch=2 p=60 id=1 v=0.5\n"
                           "[midi] pid=" + pid + " ON ch=2 p=60 id=2 v=0.25\n"
                           "[midi] pid=" + pid + " OFF ch=2 p=60 ids=[1,2]\n"
                           "[midi] pid=" + pid + " OFF ch=2 p=60 untracked, not sent\n"
                           "[midi] pid=" + pid + " OFF ch=2 p=130 untracked(0) add=0\n");
}

TEST_F(Vst3MdaTest, UnassignedControllersOtherThanVolumeReachNothing) {
  instrument.controlChange(0, 20, 64);
  instrument.controlChange(0, 20, 65);
  const std::string lines = log.takeErr();
  EXPECT_EQ(lines, "[midi] cc=20 no IMidiMapping \xE2\x86\x92 volume-param tag=0xffffffff\n"
                   "[midi] cc=20 tag=0xffffffff v=64\n");
  render(1);
}

TEST_F(Vst3MdaTest, StateRoundTripsIntoAFreshInstance) {
  instrument.captureState();
  EXPECT_THAT(log.takeOut(), FullyMatches("\\[Vst3Instrument\\] state captured ch=3 component=[1-9][0-9]*B\n"));
  const std::string text = instrument.getSerializedState();
  ASSERT_FALSE(text.empty());

  Vst3Instrument other;
  other.setChannel(4);
  other.prepare(44100.0, kBlock);
  ASSERT_TRUE(other.loadPlugin(mdaPath(), 44100.0));
  log.takeOut();
  other.loadSerializedState(text);
  EXPECT_THAT(log.takeOut(), FullyMatches("\\[Vst3Instrument\\] loaded serialized state ch=4 "
                                          "component=[0-9]+ controller=[0-9]+\n"
                                          "\\[Vst3Instrument\\] state restored ch=4 component=[0-9]+B\n"));
  EXPECT_EQ(log.takeErr(), "");
  other.captureState();
  EXPECT_EQ(other.getSerializedState(), text);
}

TEST_F(Vst3MdaTest, BrokenStateTextsAreLoggedAndNotApplied) {
  instrument.captureState();
  const std::string before = instrument.getSerializedState();
  log.takeOut();
  const std::pair<std::string, std::string> cases[] = {
      {"", "[Vst3Instrument] loadSerializedState: bad base64 ch=3\n"},
      {layoutText({0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0}), "[Vst3Instrument] loadSerializedState: bad compLen\n"},
      {layoutText({0, 0, 0, 1, 'x', 0, 0, 0}), "[Vst3Instrument] loadSerializedState: bad ctrlLen\n"},
  };
  for (const auto& [text, line] : cases) {
    instrument.loadSerializedState(text);
    EXPECT_EQ(log.takeErr(), line);
    EXPECT_EQ(log.takeOut(), "");
    EXPECT_EQ(instrument.getSerializedState(), before);
  }
}

TEST(Vst3Instrument, SerializedLayoutOfAKnownState) {
  CapturedLog log;
  Vst3Instrument instrument;
  const std::string abc = layoutText({0, 0, 0, 3, 'a', 'b', 'c', 0, 0, 0, 0});
  instrument.loadSerializedState(abc);
  EXPECT_EQ(log.takeOut(), "[Vst3Instrument] loaded serialized state ch=0 component=3 controller=0\n");
  EXPECT_EQ(instrument.getSerializedState(), abc);

  instrument.loadSerializedState(layoutText({0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(log.takeOut(), "[Vst3Instrument] loaded serialized state ch=0 component=0 controller=0\n");
  EXPECT_EQ(instrument.getSerializedState(), "");
}

TEST(Vst3Instrument, FailedLoadsLeaveNothingLoaded) {
  CapturedLog log;
  Vst3Instrument instrument;
  EXPECT_FALSE(instrument.reloadPlugin());
  EXPECT_FALSE(instrument.loadPlugin("/nonexistent/none.vst3", 48000.0));
  EXPECT_THAT(log.takeErr(), HasSubstr("[Vst3Instrument] Module::create failed: "));
  EXPECT_FALSE(instrument.prepare(48000.0, kBlock));
  EXPECT_FALSE(instrument.reloadPlugin());
  std::vector<float> left(kBlock, 1.0f), right(kBlock, 1.0f);
  instrument.process(left.data(), right.data(), kBlock);
  EXPECT_EQ(left[0], 1.0f);
}

TEST_F(Vst3MdaTest, ReloadStartsAFreshInstance) {
  instrument.noteOn(0, 60, 1.0f, 0);
  ASSERT_TRUE(instrument.reloadPlugin());
  EXPECT_EQ(log.takeOut(), loadLine);
  EXPECT_EQ(render(2), 0.0) << "the note went with the old instance";
  log.takeErr();
  instrument.noteOn(0, 61, 1.0f, 0);
  EXPECT_THAT(log.takeErr(), HasSubstr(" id=1 "));
}

}  // namespace
}  // namespace corvel
