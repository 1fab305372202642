// What every platform's shared-memory layer does alike; the rest is in
// shm_posix_test.cc and shm_win32_test.cc.
#include "platform/shm.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(Shm, NullHandleIsHarmless) {
  EXPECT_EQ(shm_ptr(nullptr), nullptr);
  EXPECT_EQ(shm_removal_file(nullptr), "");
  shm_close(nullptr);
}

}  // namespace
}  // namespace corvel
