// SIGTERM to a real host process: answered by the loop, or, while a plug-in
// call never returns, by the watchdog. POSIX: Windows has no such signal.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/shm.h"
#include "tests/support/host_session.h"

namespace corvel {
namespace {

// A host that created its block, once it serves.
bool startCreating(HostSession& session, const std::string& plugin) {
  return session.start({"--shm", session.blockName(), "--path", plugin, "--channel", "5"}) &&
         session.host().waitForOutput("[corvel] panic after preset", kLineTimeout);
}

bool blockExists(const std::string& name) {
  ShmHandle* handle = shm_open(name, 1);
  shm_close(handle);
  return handle != nullptr;
}

TEST(ProcessTermination, TheLoopAnswersARequestAndRemovesItsBlock) {
  HostSession session;
  ASSERT_TRUE(startCreating(session, "fake.vst3"));
  session.host().kill(SIGTERM);
  EXPECT_EQ(session.host().waitExit(kLineTimeout), 0);
  EXPECT_NE(session.host().output().find("[corvel] termination requested - exiting\n"), std::string::npos);
  EXPECT_FALSE(blockExists(session.blockName()));
}

TEST(ProcessTermination, AStuckPluginCallIsEndedByTheWatchdogWhichRemovesTheBlock) {
  HostSession session;
  ASSERT_TRUE(startCreating(session, "hang.vst3"));
  ASSERT_TRUE(session.host().waitForError("[fake] process hangs", kLineTimeout));

  session.host().kill(SIGTERM);
  EXPECT_EQ(session.host().waitExit(kLineTimeout), 6) << session.host().output();
  EXPECT_NE(session.host().output().find("[corvel] termination request unanswered for 2 s - forced exit ch=5\n"),
            std::string::npos);
  EXPECT_FALSE(blockExists(session.blockName()));
}

}  // namespace
}  // namespace corvel
