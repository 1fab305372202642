#include "host/preset_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "instrument/recording_instrument.h"
#include "platform/system.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace corvel {
namespace {

namespace fs = std::filesystem;

class PresetFile : public testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("corvel-preset-" + std::to_string(currentProcessId()) + "-" +
                                          testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string file(const std::string& name, const std::string& text) {
    const std::string path = (folder / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // The status, with the lines it printed.
  PresetFileStatus apply(const std::string& path) {
    testing::internal::CaptureStdout();
    const PresetFileStatus status = applyPresetFile(instrument, path);
    out = testing::internal::GetCapturedStdout();
    return status;
  }

  fs::path folder;
  RecordingInstrument instrument;
  std::string out;
};

TEST_F(PresetFile, ARegularFileIsAppliedWholeAnEmptyOneQuietly) {
  const std::string path = file("p.txt", std::string(70000, 'q'));  // more than the block's preset area
  EXPECT_EQ(apply(path), PresetFileStatus::kApplied);
  EXPECT_EQ(out, "[corvel] preset restored from " + path + " (70000B)\n");
  EXPECT_EQ(apply(file("empty.txt", "")), PresetFileStatus::kEmpty);
  EXPECT_EQ(out, "");
  EXPECT_EQ(instrument.calls, std::vector<std::string>{"loadSerializedState 70000"});
}

TEST_F(PresetFile, DirectoriesAndHugeFilesAreRefusedWithALineAndNeverRead) {
  const std::string directory = folder.string();
  EXPECT_EQ(apply(directory), PresetFileStatus::kNotRegular);
  EXPECT_EQ(out, "[corvel] preset file not a regular file: " + directory + "\n");

  // Sparse: 4 GiB + 200 B, which a 32-bit size would take for 200 B.
  const std::string huge = file("huge.txt", "");
  fs::resize_file(huge, (uintmax_t{1} << 32) + 200);
  EXPECT_EQ(apply(huge), PresetFileStatus::kTooLarge);
  EXPECT_EQ(out, "[corvel] preset file too large: " + huge + " (4294967496B, at most 67108864B)\n");
  fs::resize_file(huge, kMaxPresetFileBytes + 1);
  EXPECT_EQ(apply(huge), PresetFileStatus::kTooLarge);
  EXPECT_TRUE(instrument.calls.empty());
}

#ifndef _WIN32
// Opening a FIFO without a writer would block start-up for good.
TEST_F(PresetFile, AFifoIsRefusedWithoutWaitingForAWriter) {
  const std::string fifo = (folder / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(apply(fifo), PresetFileStatus::kNotRegular);
  EXPECT_EQ(out, "[corvel] preset file not a regular file: " + fifo + "\n");
  EXPECT_EQ(apply("/dev/zero"), PresetFileStatus::kNotRegular);
}
#endif

}  // namespace
}  // namespace corvel
