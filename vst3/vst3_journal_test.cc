// Call order and arguments, checked against a module that logs every host call.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/environment.h"
#include "tests/support/regex_match.h"
#include "vst3/captured_log.h"
#include "vst3/vst3_instrument.h"

namespace corvel {
namespace {

using ::testing::HasSubstr;

class Vst3JournalTest : public ::testing::Test {
 protected:
  ~Vst3JournalTest() override { clearEnvironmentVariable("CORVEL_JOURNAL_FAIL"); }
  std::string takeErr() { return log.takeErr(); }

  CapturedLog log;
};

TEST_F(Vst3JournalTest, LoadsTheInstrumentClassAndTearsDownInOrder) {
  {
    Vst3Instrument instrument;
    ASSERT_TRUE(instrument.loadPlugin(CORVEL_JOURNAL_VST3, 48000.0));
    EXPECT_EQ(log.peekOut(), std::string("[Vst3Instrument] loaded ") + CORVEL_JOURNAL_VST3 +
                             " (Journal Synth) outCh=2\n");
    EXPECT_EQ(takeErr(),
              "[journal] component initialize\n"
              "[journal] controller initialize\n"
              "[journal] component setupProcessing 48000 256\n"
              "[journal] component setActive 1\n"
              "[journal] component setProcessing 1\n");
    std::vector<float> left(256), right(256);
    instrument.process(left.data(), right.data(), 256);
    EXPECT_EQ(left[255], 0.25f);
    EXPECT_EQ(right[255], 0.5f) << "the second channel is the right side";
  }
  EXPECT_EQ(takeErr(),
            "[journal] component setProcessing 0\n"
            "[journal] component setActive 0\n"
            "[journal] component terminate\n"
            "[journal] controller terminate\n");
}

TEST_F(Vst3JournalTest, ASingleComponentIsInitialisedAndTerminatedOnce) {
  {
    Vst3Instrument instrument;
    ASSERT_TRUE(instrument.loadPlugin(CORVEL_JOURNAL_SINGLE_VST3, 48000.0));
    EXPECT_EQ(takeErr(),
              "[journal] component initialize\n"
              "[journal] component setupProcessing 48000 256\n"
              "[journal] component setActive 1\n"
              "[journal] component setProcessing 1\n");
  }
  EXPECT_EQ(takeErr(),
            "[journal] component setProcessing 0\n"
            "[journal] component setActive 0\n"
            "[journal] component terminate\n");
}

TEST_F(Vst3JournalTest, AFailedLoadTerminatesWhatItInitialised) {
  setEnvironmentVariable("CORVEL_JOURNAL_FAIL", "setupProcessing");
  Vst3Instrument instrument;
  EXPECT_FALSE(instrument.loadPlugin(CORVEL_JOURNAL_VST3, 48000.0));
  EXPECT_EQ(takeErr(),
            "[journal] component initialize\n"
            "[journal] controller initialize\n"
            "[journal] component setupProcessing 48000 256\n"
            "[Vst3Instrument] setupProcessing failed\n"
            "[journal] component terminate\n"
            "[journal] controller terminate\n");
  EXPECT_FALSE(instrument.reloadPlugin());
}

TEST_F(Vst3JournalTest, ControllerSeesTheComponentStateBeforeItsOwn) {
  Vst3Instrument instrument;
  instrument.setChannel(5);
  ASSERT_TRUE(instrument.loadPlugin(CORVEL_JOURNAL_VST3, 48000.0));
  instrument.captureState();
  EXPECT_THAT(log.peekOut(), HasSubstr("[Vst3Instrument] state captured ch=5 component=4B\n"));
  const std::string text = instrument.getSerializedState();
  takeErr();
  instrument.loadSerializedState(text);
  EXPECT_EQ(takeErr(),
            "[journal] component setState 4\n"
            "[journal] controller setComponentState 4\n"
            "[journal] controller setState 8\n");
  EXPECT_THAT(log.peekOut(), HasSubstr("[Vst3Instrument] loaded serialized state ch=5 component=4 "
                                   "controller=8\n[Vst3Instrument] state restored ch=5 component=4B\n"));
}

TEST_F(Vst3JournalTest, OnlyTheVolumeControllerFallsBackToTheVolumeParameter) {
  Vst3Instrument instrument;
  ASSERT_TRUE(instrument.loadPlugin(CORVEL_JOURNAL_VST3, 48000.0));
  takeErr();
  instrument.controlChange(0, 7, 127);
  instrument.controlChange(0, 64, 0);
  instrument.controlChange(0, 7, 0);
  EXPECT_EQ(takeErr(),
            "[midi] cc=7 no IMidiMapping \xE2\x86\x92 volume-param tag=0x2a\n"
            "[midi] cc=7 tag=0x2a v=127\n"
            "[journal] controller setParamNormalized 42 1\n"
            "[midi] cc=64 no IMidiMapping \xE2\x86\x92 volume-param tag=0xffffffff\n"
            "[midi] cc=64 tag=0xffffffff v=0\n"
            "[journal] controller setParamNormalized 42 0\n");
}

TEST_F(Vst3JournalTest, ResetRestartsProcessingAndForgetsHeldAndQueuedNotes) {
  Vst3Instrument instrument;
  ASSERT_TRUE(instrument.loadPlugin(CORVEL_JOURNAL_VST3, 48000.0));
  instrument.noteOn(0, 60, 1.0f, 0);
  takeErr();
  instrument.reset();
  std::vector<float> left(256), right(256);
  instrument.process(left.data(), right.data(), 256);
  instrument.noteOff(0, 60, 0);
  EXPECT_THAT(takeErr(), FullyMatches("\\[journal\\] component setProcessing 0\n"
                                      "\\[journal\\] component setActive 0\n"
                                      "\\[journal\\] component setActive 1\n"
                                      "\\[journal\\] component setProcessing 1\n"
                                      "\\[midi\\] pid=[0-9]+ OFF ch=0 p=60 untracked, not sent\n"));
  EXPECT_EQ(left[0], 0.25f);
}

// The reload behind a re-opened editor: the same path and rate, a fresh instance, and the
// captured state carried across. Checked in-process: a parent has no way to make a VST 3
// host re-open its editor.
TEST_F(Vst3JournalTest, ReloadKeepsPathAndRateAndTheCapturedStateRestoresTheNewInstance) {
  Vst3Instrument instrument;
  ASSERT_TRUE(instrument.loadPlugin(CORVEL_JOURNAL_SINGLE_VST3, 48000.0));
  instrument.controlChange(0, 7, 127);  // the volume parameter drives the level
  std::vector<float> left(256), right(256);
  instrument.process(left.data(), right.data(), 256);
  ASSERT_EQ(left[0], 1.0f);
  instrument.captureState();
  log.takeOut();
  takeErr();

  ASSERT_TRUE(instrument.reloadPlugin());
  EXPECT_EQ(log.peekOut(), std::string("[Vst3Instrument] loaded ") + CORVEL_JOURNAL_SINGLE_VST3 +
                           " (Journal Synth) outCh=2\n");
  EXPECT_THAT(takeErr(), HasSubstr("[journal] component terminate\n"
                                   "[journal] component initialize\n"
                                   "[journal] component setupProcessing 48000 256\n"));
  instrument.process(left.data(), right.data(), 256);
  EXPECT_EQ(left[0], 0.25f) << "a fresh instance";
  instrument.restoreState();
  instrument.process(left.data(), right.data(), 256);
  EXPECT_EQ(left[0], 1.0f);
}

}  // namespace
}  // namespace corvel
