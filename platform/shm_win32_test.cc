#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/shm.h"

namespace corvel {
namespace {

std::string uniqueName(const char* tag) {
  return std::string("corvel-test-") + tag + "-" + std::to_string(GetCurrentProcessId());
}

TEST(Shm, CreatesAZeroedBlockThatOtherHandlesShareUntilTheLastOneCloses) {
  const std::string name = uniqueName("share");
  ShmHandle* owner = shm_create(name, 163520);
  ASSERT_NE(owner, nullptr);
  auto* bytes = static_cast<uint8_t*>(shm_ptr(owner));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[163519], 0);
  ShmHandle* opened = shm_open(name, 163520);
  ShmHandle* attached = shm_create(name, 163520);
  ASSERT_NE(opened, nullptr);
  ASSERT_NE(attached, nullptr);
  bytes[100] = 'x';
  EXPECT_EQ(static_cast<char*>(shm_ptr(opened))[100], 'x');
  EXPECT_EQ(static_cast<char*>(shm_ptr(attached))[100], 'x');
  shm_close(owner);
  shm_close(attached);
  EXPECT_EQ(static_cast<char*>(shm_ptr(opened))[100], 'x') << "a section lives while a handle does";
  shm_close(opened);
  EXPECT_EQ(shm_open(name, 1), nullptr) << "and goes with the last one";
}

TEST(Shm, NamesAreConvertedFromUtf8ForCreation) {
  const std::string name = uniqueName("\xc3\xbc");  // "ü"
  ShmHandle* owner = shm_create(name, 4096);
  ASSERT_NE(owner, nullptr);
  const std::wstring wide = L"corvel-test-\u00fc-" + std::to_wstring(GetCurrentProcessId());
  HANDLE byWideName = OpenFileMappingW(FILE_MAP_READ, FALSE, wide.c_str());
  EXPECT_NE(byWideName, nullptr);
  if (byWideName) CloseHandle(byWideName);
  shm_close(owner);
}

TEST(Shm, RefusesMissingUndersizedAndUnnameableBlocks) {
  EXPECT_EQ(shm_open(uniqueName("missing"), 4096), nullptr);

  // Windows keeps a section's exact size, Wine rounds it up to whole pages:
  // a page apart, both refuse.
  const std::string small = uniqueName("small");
  ShmHandle* owner = shm_create(small, 4096);
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(shm_open(small, 8192), nullptr);
  EXPECT_EQ(shm_create(small, 8192), nullptr);
  EXPECT_NE(shm_ptr(owner), nullptr) << "a refused attach leaves the section alone";
  shm_close(owner);

  for (const std::string& bad : {std::string(""), std::string("a\\b"), std::string("nul\0byte", 8)}) {
    EXPECT_EQ(shm_create(bad, 4096), nullptr) << bad;
    EXPECT_EQ(shm_open(bad, 4096), nullptr) << bad;
  }
}

TEST(ShmWake, EventsBesideTheBlockCarryItsNameAndABlockWithoutThemIsPolled) {
  const std::string name = uniqueName("events");
  ShmHandle* owner = shm_create(name, 4096);
  ASSERT_NE(owner, nullptr);
  for (const char* suffix : {"-host-wake", "-parent-wake"}) {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, (name + suffix).c_str());
    EXPECT_NE(event, nullptr) << suffix;
    if (event) CloseHandle(event);
  }
  shm_close(owner);

  // A parent that predates wakes makes the section alone.
  const std::string bare = uniqueName("bare");
  HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, bare.c_str());
  ASSERT_NE(section, nullptr);
  ShmHandle* host = shm_open(bare, 4096);
  ASSERT_NE(host, nullptr);
  uint32_t& field = *static_cast<uint32_t*>(shm_ptr(host));
  shm_wake(host, WakeSide::kParent, field);
  shm_wait(host, WakeSide::kHost, field, 0, std::chrono::milliseconds(20));  // sleeps, then returns
  shm_close(host);
  CloseHandle(section);
}

}  // namespace
}  // namespace corvel
