// corvel-soak end to end against the fake-instrument host: a short run of
// each mode passes, says so in its summary line and leaves no block behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "client/child_process.h"

namespace corvel {
namespace {

struct Summary {
  unsigned long long blocks = 0, presets = 0, commands = 0, restarts = 0, lost = 0;
};

// The numbers of the summary line, which ends the output.
Summary lastSummary(const std::string& output) {
  Summary s;
  const size_t line = output.rfind("\nsoak: ");
  if (line == std::string::npos) return s;
  long long rss = 0, fds = 0;
  const char* format =
      "soak: %llu blocks, %llu presets, %llu commands, %llu restarts, lost %llu, rss %lld KiB, fds %lld\n";
  const int read = std::sscanf(output.c_str() + line + 1, format, &s.blocks, &s.presets, &s.commands, &s.restarts,
                               &s.lost, &rss, &fds);
  EXPECT_EQ(read, 7) << output.substr(line + 1);
  return s;
}

// The fake plug-in "quiet" echoes none of its calls.
std::unique_ptr<ChildProcess> soak(std::vector<std::string> extra) {
  std::vector<std::string> arguments{"--plugin", "quiet", "--host", CORVEL_FAKEHOST_PATH, "--vst2", "--seed", "5"};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return ChildProcess::spawn({CORVEL_SOAK_PATH, arguments, {"DISPLAY="}});
}

// A run that must pass, and leave no block behind; its summary.
Summary passingRun(const std::vector<std::string>& extra) {
  auto run = soak(extra);
  if (!run) return {};
  EXPECT_EQ(run->waitExit(std::chrono::seconds(60)), 0) << run->output() << run->errors();
  EXPECT_NE(run->output().find("corvel-soak: seed 5\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists("/dev/shm/corvel-soak-" + std::to_string(run->pid())));
  return lastSummary(run->output());
}

TEST(CorvelSoak, NormalRunTakesEveryBlockPresetAndCommand) {
  const Summary summary = passingRun({"--seconds", "3"});
  EXPECT_GT(summary.blocks, 100u);
  EXPECT_GT(summary.presets, 0u);
  EXPECT_GT(summary.commands, 0u);
  EXPECT_EQ(summary.lost, 0u);
}

TEST(CorvelSoak, ChaosRunKeepsTheHostServingThroughQuitsAndRestarts) {
  const Summary summary = passingRun({"--seconds", "5", "--chaos", "--allow-quit"});
  EXPECT_GT(summary.blocks, 0u);
  EXPECT_GT(summary.presets, 0u);
  EXPECT_GE(summary.restarts, 1u);
  EXPECT_EQ(summary.lost, 0u);
}

// A plug-in stuck in its audio call: the heartbeat goes on, the blocks do not.
TEST(CorvelSoak, FailsWhenTheHostStopsRendering) {
  auto run = ChildProcess::spawn(
      {CORVEL_SOAK_PATH, {"--plugin", "hang", "--host", CORVEL_FAKEHOST_PATH, "--seconds", "30"}, {"DISPLAY="}});
  ASSERT_TRUE(run);
  ASSERT_EQ(run->waitExit(std::chrono::seconds(60)), 1);
  EXPECT_NE(run->output().find("[fake] process hangs"), std::string::npos);
  EXPECT_NE(run->output().find("corvel-soak: FAILED: the host "), std::string::npos) << run->output();
  EXPECT_EQ(lastSummary(run->output()).blocks, 0u);
}

TEST(CorvelSoak, RefusesABadCommandLine) {
  auto run = soak({"--seconds", "3s"});
  ASSERT_TRUE(run);
  EXPECT_EQ(run->waitExit(std::chrono::seconds(10)), 2);
}

}  // namespace
}  // namespace corvel
