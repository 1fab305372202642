// SIGKILL at a random point of a render, to the host or to the parent that
// started it (corvel-render, which creates the block), 100 times over. The
// one that survives must remove the block: a name left in /dev/shm lives
// until the machine restarts. POSIX: Windows names end with their last holder.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "client/child_process.h"
#include "client/wait_until.h"
#include "tools/host_block_path.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

constexpr int kRounds = 100;

// The pid of a child of `parent` (the host it started), or 0.
pid_t childOf(unsigned long parent) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // "pid (comm) state ppid ...": comm may hold spaces, so read after the ')'.
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    char state = 0;
    unsigned long ppid = 0;
    if (rest >> state >> ppid && ppid == parent) return static_cast<pid_t>(std::stoul(entry.path().filename()));
  }
  return 0;
}

struct Round {
  bool killParent;
  std::chrono::microseconds delay;  // after the host appeared
};

class KillStorm : public ::testing::Test {
 protected:
  ~KillStorm() override { std::filesystem::remove_all(scratch); }

  // Starts a render, waits for its host, kills one of them after the delay,
  // and says whether the block was removed in time.
  ::testing::AssertionResult survive(const Round& round) {
    auto render = ChildProcess::spawn({CORVEL_RENDER_PATH,
                                       {"--plugin", "fake.vst3", "--host", CORVEL_FAKEHOST_PATH, "--block", "32",
                                        "--out", (scratch / "out.wav").string()},
                                       {}});
    if (!render) return ::testing::AssertionFailure() << "corvel-render did not start";
    pid_t host = 0;
    waitUntil([&] { return (host = childOf(render->pid())) != 0 || render->waitExit(0ms); }, 5s);
    if (!host) return ::testing::AssertionFailure() << "no host appeared\n" << render->errors();
    const std::string block = hostBlockPath(host, 5s);
    if (block.empty()) return ::testing::AssertionFailure() << "the host named no block\n" << render->errors();
    std::this_thread::sleep_for(round.delay);
    if (round.killParent)
      render->kill(SIGKILL);
    else
      ::kill(host, SIGKILL);
    if (!render->waitExit(5s)) return ::testing::AssertionFailure() << "corvel-render outlived its host by 5 s";
    if (!waitUntil([&] { return !std::filesystem::exists(block); }, 5s))
      return ::testing::AssertionFailure() << block << " was left behind\n" << render->errors();
    return ::testing::AssertionSuccess();
  }

  std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("corvel-kill-storm-" + std::to_string(getpid()));
};

TEST_F(KillStorm, WhoeverSurvivesASigkillRemovesTheBlock) {
  std::filesystem::create_directories(scratch);
  std::mt19937 random(std::random_device{}());
  // Start-up, rendering, the idle tail and the end all fall inside 150 ms.
  std::uniform_int_distribution<int> delay(0, 150000);
  for (int i = 0; i < kRounds; ++i) {
    const Round round{random() % 2 == 0, std::chrono::microseconds(delay(random))};
    ASSERT_TRUE(survive(round)) << "round " << i << ": killed the " << (round.killParent ? "parent" : "host")
                                << " after " << round.delay.count() << " us";
  }
}

}  // namespace
}  // namespace corvel
