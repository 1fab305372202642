// Start-up of a real host process: usage errors, block failures and the start line.
#include <gtest/gtest.h>

#include "platform/shm.h"
#include "tests/support/host_session.h"

namespace corvel {
namespace {

const char* kUsage =
    "usage: corvel --shm <name> --path <vst> [--vst2] [--channel n] [--sr rate] [--block n] [--parent pid] "
    "[--open]\n";

// Blocks whose names begin with `prefix`; other tests create and remove
// theirs meanwhile, so only the names a test gave its own hosts are compared.
std::vector<std::string> blocksNamed(const std::string& prefix) {
  std::vector<std::string> names = sharedMemoryNames();
  std::erase_if(names, [&](const std::string& name) { return name.rfind(prefix, 0) != 0; });
  return names;
}

TEST(ProcessStartup, UsageErrorsExitWith2AndLeaveSharedMemoryAlone) {
  HostSession session;
  const std::string& name = session.blockName();
  const std::vector<std::vector<std::string>> commandLines = {
      {"--path", "fake.vst3"},
      {"--shm", name, "--path"},
      {"--path", "fake.vst3", "--shm", ""},
  };
  for (const auto& arguments : commandLines) {
    ASSERT_TRUE(session.start(arguments));
    EXPECT_EQ(session.host().waitExit(kLineTimeout), 2);
    EXPECT_EQ(session.host().output(), kUsage);
    EXPECT_EQ(blocksNamed(name), std::vector<std::string>{});
  }
}

// Numbers the host cannot serve end it before it maps anything; which
// values those are is for the HostOptions tests.
TEST(ProcessStartup, NumbersOutOfRangeExitWith2BeforeMapping) {
  const std::vector<std::vector<std::string>> numbers = {{"--block", "4294967296"}, {"--sr", "nan"}};
  for (const auto& number : numbers) {
    HostSession session;
    std::vector<std::string> arguments{"--shm", session.blockName(), "--path", "fake.vst3"};
    arguments.insert(arguments.end(), number.begin(), number.end());
    ASSERT_TRUE(session.start(arguments));
    EXPECT_EQ(session.host().waitExit(kLineTimeout), 2) << number[1];
    EXPECT_EQ(session.host().output().rfind("[corvel] ", 0), 0u) << session.host().output();
    EXPECT_EQ(countOf(session.host().output(), "\n"), 1u) << session.host().output();
    EXPECT_EQ(blocksNamed(session.blockName()), std::vector<std::string>{});
  }
}

TEST(ProcessStartup, OversizedBlockIsRefusedBeforeMapping) {
  HostSession session;
  ASSERT_TRUE(session.start({"--shm", session.blockName(), "--path", "fake.vst3", "--block", "300"}));
  EXPECT_EQ(session.host().waitExit(kLineTimeout), 2);
  EXPECT_EQ(session.host().output().find("[corvel] pid="), std::string::npos);
  EXPECT_EQ(shm_open(session.blockName(), 1), nullptr);
}

TEST(ProcessStartup, OpenFailsWith3ForMissingOrUndersizedBlock) {
  HostSession missing;
  ASSERT_TRUE(missing.start({"--shm", missing.blockName(), "--path", "fake.vst3", "--open"}));
  EXPECT_EQ(missing.host().waitExit(kLineTimeout), 3);
  EXPECT_NE(missing.host().output().find("[corvel] FAILED shm_create " + missing.blockName() + "\n"),
            std::string::npos);

  HostSession undersized;
  ShmHandle* small = shm_create(undersized.blockName(), 4096);
  ASSERT_NE(small, nullptr);
  ASSERT_TRUE(undersized.start({"--shm", undersized.blockName(), "--path", "fake.vst3", "--open"}));
  EXPECT_EQ(undersized.host().waitExit(kLineTimeout), 3);
  EXPECT_NE(undersized.host().output().find("[corvel] FAILED shm_create"), std::string::npos);
  shm_close(small);
}

TEST(ProcessStartup, StartLineReportsPidAndOptions) {
  HostSession session;
  ASSERT_TRUE(session.startServing({"--sr", "48000.7", "--block", "64", "--channel", "7"}));
  const std::string startLine = "[corvel] pid=" + std::to_string(session.host().pid()) + " shm=" +
                                session.blockName() + " path=fake.vst3 sr=48001 block=64 vst2=0 ch=7\n";
  EXPECT_EQ(session.host().output().substr(0, startLine.size()), startLine);
}

TEST(ProcessStartup, FailedLoadExitsWith4) {
  HostSession session;
  ASSERT_TRUE(session.createBlock());
  ASSERT_TRUE(session.start({"--shm", session.blockName(), "--path", "fail.vst3", "--open"}));
  EXPECT_EQ(session.host().waitExit(kLineTimeout), 4);
  EXPECT_NE(session.host().output().find("[corvel] loadPlugin failed\n"), std::string::npos);
}

}  // namespace
}  // namespace corvel
