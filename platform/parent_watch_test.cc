// What every platform's parent watch does alike; how a real process is seen
// to go is in parent_watch_posix_test.cc and parent_watch_win32_test.cc.
#include "platform/parent_watch.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(ParentWatch, WithoutPidNothingIsWatched) {
  ParentWatch watch(0);
  EXPECT_FALSE(watch.watching());
  EXPECT_TRUE(watch.parentAlive());
}

TEST(ParentWatch, APidThatNeverExistedIsGone) {
  ParentWatch watch(0x7ffffff0u);
  EXPECT_TRUE(watch.watching());
  EXPECT_FALSE(watch.parentAlive());
}

}  // namespace
}  // namespace corvel
