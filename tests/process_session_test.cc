// corvel::Session through a real corvel: a chord in both modes, presets
// across sessions, a killed host, a hung one, and renderBlock's deadlines;
// and the bounded capture of a child's output the session reads the host's log from.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "corvel/session.h"
#include "instrument/base64.h"
#include "platform/system.h"
#include "tests/support/fixture_report_reader.h"
#include "tests/support/test_platform.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kMda = std::string(CORVEL_VST3_SAMPLES) + "/mda-vst3.vst3";
const std::string kAmsynth = "/usr/lib/vst/amsynth_vst.so";

// Stereo audio of the test's own, with the levels the checks need.
struct Audio {
  explicit Audio(uint32_t frames) : left(frames), right(frames) {}
  AudioSink sink() { return {left.data(), right.data()}; }
  bool finite() const {
    auto ok = [](float v) { return std::isfinite(v); };
    return std::all_of(left.begin(), left.end(), ok) && std::all_of(right.begin(), right.end(), ok);
  }
  double rms() const {
    double sum = 0;
    for (size_t i = 0; i < left.size(); ++i) sum += double{left[i]} * left[i] + double{right[i]} * right[i];
    return std::sqrt(sum / (2.0 * static_cast<double>(left.size())));
  }
  std::vector<float> left, right;
};

// A session on a fresh HOME (real plug-ins write their settings there).
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home = makeTemporaryFolder("corvel-session-test");
    ASSERT_FALSE(home.empty());
    std::filesystem::create_directories(home + "/.config");
    std::filesystem::create_directories(home + "/.local/share");
  }
  void TearDown() override { std::filesystem::remove_all(home); }

  SessionOptions optionsFor(const std::string& plugin, bool vst2) const {
    SessionOptions options;
    options.plugin = plugin;
    options.vst2 = vst2;
    options.hostPath = CORVEL_PATH;
    options.environment = {"HOME=" + home, "DISPLAY="};
    return options;
  }

  std::string home;
};

std::vector<MidiEvent> chord(uint8_t status, uint8_t velocity) {
  return {{0, status, 60, velocity}, {0, status, 64, velocity}, {0, status, 67, velocity}};
}

// Renders `frames` in calls of `call` frames (not a block multiple, so
// frames kept between calls are used); `events` go with the first call.
RenderStatus play(Session& session, std::vector<MidiEvent> events, uint32_t frames, Audio& out, uint32_t call = 1000) {
  RenderStatus status = RenderStatus::kIdle;
  for (uint32_t done = 0; done < frames; done += call) {
    const uint32_t n = std::min(call, frames - done);
    const RenderStatus got = session.render(events, n, {out.left.data() + done, out.right.data() + done});
    if (got != RenderStatus::kIdle) status = got;
    events.clear();
  }
  return status;
}

TEST_F(SessionTest, ChordIsHeardInBothModesAndSilenceIdles) {
  for (const bool vst2 : {false, true}) {
    SCOPED_TRACE(vst2 ? "amsynth" : "mda DX10");
    Session session;
    ASSERT_EQ(session.start(optionsFor(vst2 ? kAmsynth : kMda, vst2)), StartStatus::kStarted)
        << session.lastError().message << "\n" << session.lastError().hostLog;
    // 70 controller messages first: the chord rides on the next block's batch.
    std::vector<MidiEvent> events(70, MidiEvent{0, 0xB0, 1, 0});
    for (const MidiEvent& note : chord(0x90, 40)) events.push_back(note);
    Audio held(24000);
    EXPECT_EQ(play(session, events, 24000, held), RenderStatus::kBlock);
    EXPECT_TRUE(held.finite());
    EXPECT_GT(held.rms(), 0.01);

    // A VST 3 panic is note-offs the session plays, after which the host
    // idles; a VST 2 host takes a command and counts the notes held until
    // their note-offs come.
    session.allNotesOff();
    Audio release(3 * 48000);
    play(session, {}, release.left.size(), release);
    Audio tail(4800);
    const RenderStatus tailStatus = play(session, {}, 4800, tail);
    EXPECT_LT(tail.rms(), 0.001);
    EXPECT_EQ(tailStatus, vst2 ? RenderStatus::kBlock : RenderStatus::kIdle);
    Audio quiet(4800);
    play(session, chord(0x80, 0), 4800, quiet);
    EXPECT_EQ(play(session, {}, 4800, quiet), RenderStatus::kIdle);
    EXPECT_EQ(quiet.rms(), 0.0);
    Audio again(9600);
    EXPECT_EQ(play(session, chord(0x90, 40), 9600, again), RenderStatus::kBlock);
    EXPECT_GT(again.rms(), 0.01);
  }
}

// Blocks left by a dead process whose id this one now has: the session
// takes names no block has instead of serving on a stale one.
TEST_F(SessionTest, StaleBlocksUnderItsNamesAreLeftAlone) {
  std::vector<std::unique_ptr<ClientBlock>> stale;
  for (int n = 1; n <= 64; ++n) {
    stale.push_back(ClientBlock::create("corvel-session-" + std::to_string(currentProcessId()) + "-" + std::to_string(n)));
    ASSERT_TRUE(stale.back());
    storeRelease(stale.back()->raw().renderCount, 7);
  }
  Session session;
  ASSERT_EQ(session.start(optionsFor(kMda, false)), StartStatus::kStarted) << session.lastError().message;
  Audio held(9600);
  EXPECT_EQ(play(session, chord(0x90, 40), 9600, held), RenderStatus::kBlock);
  EXPECT_GT(held.rms(), 0.01);
  for (const auto& block : stale) EXPECT_EQ(block->renderCount(), 7u);
}

TEST_F(SessionTest, PresetTravelsBetweenSessionsAndFiles) {
  Session first;
  ASSERT_EQ(first.start(optionsFor(kAmsynth, true)), StartStatus::kStarted) << first.lastError().hostLog;
  const std::string text = first.preset();
  ASSERT_GE(text.size(), kSmallestPreset);
  EXPECT_EQ(first.pushPreset("too short"), PushStatus::kRejected);
  EXPECT_EQ(first.pushPreset(std::string(kPresetCapacity, 'x')), PushStatus::kTooLarge);
  EXPECT_EQ(first.pushPreset(text), PushStatus::kTaken);
  EXPECT_EQ(first.preset(), text);
  const std::string file = home + "/preset.txt";
  ASSERT_TRUE(first.savePreset(file));
  EXPECT_EQ(first.loadPreset(file), PushStatus::kTaken);
  Audio firstChord(9600);
  play(first, chord(0x90, 40), 9600, firstChord);
  // While notes sound, the host waits for each block to be taken before it
  // looks for a preset: each push must let it go on, keeping those blocks.
  EXPECT_EQ(first.pushPreset(text), PushStatus::kTaken);
  EXPECT_EQ(first.pushPreset(text), PushStatus::kTaken);
  Audio afterPush(2560);
  EXPECT_EQ(play(first, {}, 2560, afterPush, 256), RenderStatus::kBlock);

  SessionOptions options = optionsFor(kAmsynth, true);
  options.presetText = text;
  Session second;
  ASSERT_EQ(second.start(options), StartStatus::kStarted) << second.lastError().hostLog;
  Audio secondChord(9600);
  play(second, chord(0x90, 40), 9600, secondChord);
  EXPECT_GT(firstChord.rms(), 0.01);
  EXPECT_EQ(firstChord.left, secondChord.left);
}

// The fixture synth's preset is its report: a count set by a pushed preset
// reaches a restarted host only if restart() hands the preset on.
TEST_F(SessionTest, KilledHostIsReportedAtOnceAndRestartKeepsThePreset) {
  Session session;
  ASSERT_EQ(session.start(optionsFor(VST2_FIXTURE_SYNTH, true)), StartStatus::kStarted)
      << session.lastError().hostLog;
  fixture::FixtureReport marked = decodeFixtureReport(session.preset());
  marked.noteOffCount = 4242;
  ASSERT_EQ(session.pushPreset(base64Encode(reinterpret_cast<const uint8_t*>(&marked), sizeof marked)),
            PushStatus::kTaken);
  Audio audio(256);
  ASSERT_EQ(session.render(chord(0x90, 100), 256, audio.sink()), RenderStatus::kBlock);
  // Killed from another thread while render() runs in lock step with it.
  const auto pid = static_cast<pid_t>(session.hostProcessId());
  Clock::time_point killed;
  std::thread killer([&] {
    std::this_thread::sleep_for(200ms);
    killed = Clock::now();
    ::kill(pid, SIGKILL);
  });
  RenderStatus status = RenderStatus::kBlock;
  while (status == RenderStatus::kBlock) status = session.render({}, 256, audio.sink());
  const auto reportedAt = Clock::now();
  killer.join();
  const auto reported = std::chrono::duration<double, std::milli>(reportedAt - killed).count();
  std::printf("kill to kHostGone: %.1f ms\n", reported);
  EXPECT_EQ(status, RenderStatus::kHostGone);
  EXPECT_LT(reported, 1000.0);
  EXPECT_EQ(session.lastError().signal, SIGKILL);
  EXPECT_EQ(audio.rms(), 0.0);

  ASSERT_EQ(session.restart(), StartStatus::kStarted) << session.lastError().hostLog;
  EXPECT_EQ(session.restarts(), 1u);
  EXPECT_GE(decodeFixtureReport(session.preset()).noteOffCount, 4242u);
  Audio after(9600);
  EXPECT_EQ(play(session, chord(0x90, 100), 9600, after), RenderStatus::kBlock);
  EXPECT_GT(after.rms(), 0.0);
  session.stop();
  const std::string ours = "corvel-session-" + std::to_string(getpid()) + "-";
  for (const std::string& name : sharedMemoryNames()) EXPECT_EQ(name.find(ours), std::string::npos) << name;
}

// The hang fixture sleeps in processReplacing once note 100 is on.
TEST_F(SessionTest, HungHostIsLateWithinItsDeadlinesThenHung) {
  SessionOptions options = optionsFor(VST2_FIXTURE_HANG_NOTE, true);
  options.hangLimit = 1500ms;
  options.restartAutomatically = true;  // by render(); renderBlock never waits for a start
  Session session;
  ASSERT_EQ(session.start(options), StartStatus::kStarted) << session.lastError().hostLog;
  Audio audio(options.blockFrames);
  for (int i = 0; i < 20; ++i)
    ASSERT_EQ(session.renderBlock({}, audio.sink(), Clock::now() + 1s), RenderStatus::kBlock);

  const std::vector<MidiEvent> hang{{0, 0x90, 100, 100}};
  std::span<const MidiEvent> events = hang;
  RenderStatus status = RenderStatus::kLate;
  double worstOverrun = 0;
  for (int calls = 0; status == RenderStatus::kLate && calls < 2000; ++calls) {
    const auto deadline = Clock::now() + 5ms;
    status = session.renderBlock(events, audio.sink(), deadline);
    worstOverrun = std::max(worstOverrun, std::chrono::duration<double, std::milli>(Clock::now() - deadline).count());
    events = {};
    if (status == RenderStatus::kLate) {
      EXPECT_EQ(audio.rms(), 0.0);
    }
  }
  std::printf("renderBlock past its deadline by at most %.2f ms\n", worstOverrun);
  // Loose: these machines are shared; a call that waited for the host would
  // overrun by the hang limit.
  EXPECT_LT(worstOverrun, 500.0);
  EXPECT_EQ(status, RenderStatus::kHung);
  const auto hungHost = static_cast<pid_t>(session.hostProcessId());
  EXPECT_EQ(::kill(hungHost, 0), 0) << "the hung host still runs";
  EXPECT_EQ(session.render({}, 256, audio.sink()), RenderStatus::kHung);
  EXPECT_NE(session.lastError().message.find("rendered nothing"), std::string::npos);
  EXPECT_EQ(session.restarts(), 1u);
  EXPECT_NE(static_cast<pid_t>(session.hostProcessId()), hungHost);
  EXPECT_EQ(session.render({}, 256, audio.sink()), RenderStatus::kBlock);
}

// The poison fixture renders NaN from note 100 on: the host silences it,
// resets the plug-in and idles, which the session must follow, not wait out.
TEST_F(SessionTest, HostThatResetItsPlugInIdlesInsteadOfHanging) {
  SessionOptions options = optionsFor(VST2_FIXTURE_POISON_NOTE, true);
  options.hangLimit = 1s;
  Session session;
  ASSERT_EQ(session.start(options), StartStatus::kStarted) << session.lastError().hostLog;
  Audio poisoned(4800);
  EXPECT_EQ(play(session, {{0, 0x90, 100, 100}}, 4800, poisoned, 256), RenderStatus::kBlock);
  EXPECT_EQ(poisoned.rms(), 0.0);
  Audio cured(4800);
  EXPECT_EQ(play(session, {{0, 0x90, 60, 100}}, 4800, cured, 256), RenderStatus::kBlock);
  EXPECT_TRUE(cured.finite());
  EXPECT_GT(cured.rms(), 0.0);
}

TEST_F(SessionTest, StartFailuresSayWhy) {
  Session session;
  SessionOptions options = optionsFor(kMda, false);
  options.blockFrames = 0;
  EXPECT_EQ(session.start(options), StartStatus::kBadOptions);
  options = optionsFor(home + "/missing.vst3", false);
  EXPECT_EQ(session.start(options), StartStatus::kHostEnded);
  EXPECT_EQ(session.lastError().exitCode, 4);
  EXPECT_NE(session.lastError().hostLog.find("[corvel] loadPlugin failed"), std::string::npos);
  options.hostPath = home + "/no-such-corvel";
  EXPECT_EQ(session.start(options), StartStatus::kNoHost);
  // Without a host path, corvel is looked for beside this code, then on PATH.
  options = optionsFor(kMda, false);
  options.hostPath.clear();
  const std::string path = getenv("PATH");
  setenv("PATH", std::filesystem::path(CORVEL_PATH).parent_path().c_str(), 1);
  EXPECT_EQ(session.start(options), StartStatus::kStarted) << session.lastError().message;
  setenv("PATH", path.c_str(), 1);
  session.stop();
  Audio audio(256);
  EXPECT_EQ(session.render({}, 256, audio.sink()), RenderStatus::kNotRunning);
}

// Each read from a kept position is the text that followed it, or what is
// still kept of it; the tail stays within its bound and starts at a line.
TEST(ChildProcessCapture, KeepsABoundedTailAndReadsOnFromAPosition) {
  constexpr size_t kKept = 1024;
  constexpr int kLines = 3000;
  std::string expected;
  for (int i = 1; i <= kLines; ++i) expected += "line " + std::to_string(i) + "\n";
  const std::string script =
      "i=1; while [ $i -le " + std::to_string(kLines) + " ]; do echo line $i; i=$((i+1)); done";
  auto child = ChildProcess::spawn({"/bin/sh", {"-c", script}, {}}, kKept);
  ASSERT_NE(child, nullptr);
  uint64_t position = 0;
  while (!child->waitExit(1ms)) {
    const uint64_t last = position;
    const std::string text = child->outputSince(position);
    ASSERT_LE(text.size(), kKept);
    ASSERT_GE(position - text.size(), last);
    ASSERT_EQ(expected.compare(position - text.size(), text.size(), text), 0);
  }
  const std::string tail = child->output();
  ASSERT_LE(tail.size(), kKept);
  ASSERT_GE(tail.size(), kKept / 2);
  EXPECT_EQ(expected.substr(expected.size() - tail.size()), tail);
  EXPECT_EQ(expected[expected.size() - tail.size() - 1], '\n');
  EXPECT_EQ(child->outputEnd(), expected.size());
  uint64_t near = expected.size() - 100;
  EXPECT_EQ(child->outputSince(near), expected.substr(expected.size() - 100));
  EXPECT_EQ(child->outputSince(near), "");
  uint64_t trimmed = 0;
  EXPECT_EQ(child->outputSince(trimmed), tail);
  EXPECT_EQ(trimmed, expected.size());
}

}  // namespace
}  // namespace corvel
