// A pipe whose read end becomes readable on demand, for tests that watch
// descriptors. POSIX. Test thread.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

namespace corvel {

struct TestPipe {
  TestPipe() { EXPECT_EQ(pipe(fds), 0); }
  ~TestPipe() {
    close(fds[0]);
    close(fds[1]);
  }
  TestPipe(const TestPipe&) = delete;
  TestPipe& operator=(const TestPipe&) = delete;

  int readEnd() const { return fds[0]; }
  // The read end stays readable until the byte is drained.
  void signal() { EXPECT_EQ(write(fds[1], "x", 1), 1); }
  void drain() {
    char byte;
    EXPECT_EQ(read(fds[0], &byte, 1), 1);
  }

  int fds[2];
};

}  // namespace corvel
