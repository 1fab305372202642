#include "platform/shm.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

namespace corvel {
namespace {

std::string uniqueName(const char* tag) { return std::string("corvel-test-") + tag + "-" + std::to_string(getpid()); }

bool objectExists(const std::string& name, struct stat* status = nullptr) {
  struct stat local {};
  return stat(("/dev/shm/" + name).c_str(), status ? status : &local) == 0;
}

TEST(Shm, CreatesAPrivateZeroedBlockOfExactlyTheSizeAndRemovesItOnClose) {
  const std::string name = uniqueName("create");
  ShmHandle* handle = shm_create(name, 163520);
  ASSERT_NE(handle, nullptr);
  struct stat status {};
  ASSERT_TRUE(objectExists(name, &status));
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_EQ(status.st_size, 163520);
  const auto* bytes = static_cast<const uint8_t*>(shm_ptr(handle));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[163519], 0);
  shm_close(handle);
  EXPECT_FALSE(objectExists(name));
}

TEST(Shm, SecondProcessSideSeesTheSameBytesAndLeavesTheNameToItsCreator) {
  const std::string name = uniqueName("share");
  ShmHandle* owner = shm_create(name, 4096);
  ASSERT_NE(owner, nullptr);
  ShmHandle* opened = shm_open(name, 4096);
  ShmHandle* attached = shm_create(name, 4096);
  ASSERT_NE(opened, nullptr);
  ASSERT_NE(attached, nullptr);
  static_cast<char*>(shm_ptr(owner))[100] = 'x';
  EXPECT_EQ(static_cast<char*>(shm_ptr(opened))[100], 'x');
  EXPECT_EQ(static_cast<char*>(shm_ptr(attached))[100], 'x');
  EXPECT_EQ(shm_removal_file(owner), "/dev/shm/" + name);
  EXPECT_EQ(shm_removal_file(opened), "");
  EXPECT_EQ(shm_removal_file(attached), "");
  shm_close(opened);
  shm_close(attached);
  EXPECT_TRUE(objectExists(name));
  shm_close(owner);
  EXPECT_FALSE(objectExists(name));
}

TEST(Shm, RefusesMissingUndersizedAndUnnameableBlocks) {
  EXPECT_EQ(shm_open(uniqueName("missing"), 4096), nullptr);

  const std::string small = uniqueName("small");
  ShmHandle* owner = shm_create(small, 1000);
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(shm_open(small, 4096), nullptr);
  EXPECT_EQ(shm_create(small, 4096), nullptr);
  shm_close(owner);

  for (const std::string& bad : {std::string(""), std::string("a/b"), std::string("/lead"), std::string(300, 'n'),
                                 std::string("nul\0byte", 8)}) {
    EXPECT_EQ(shm_create(bad, 4096), nullptr) << bad;
    EXPECT_EQ(shm_open(bad, 4096), nullptr) << bad;
  }
}

}  // namespace
}  // namespace corvel
