#include "vst3/vst3_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/environment.h"
#include "tests/support/regex_match.h"
#include "vst3/captured_log.h"

namespace corvel {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::SizeIs;

class Vst3ScanTest : public ::testing::Test {
 protected:
  ScanStatus scan(const std::string& path) { return scanVst3Module(path, info, error); }

  CapturedLog log;
  Vst3ModuleInfo info;
  std::string error;
};

TEST_F(Vst3ScanTest, MdaListsEveryClassAndDescribesDx10) {
  const std::string path = std::string(CORVEL_VST3_SAMPLES_DIR) + "/mda-vst3.vst3";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "run scripts/setup.d/30-vst3sdk.sh";
  ASSERT_EQ(scan(path), ScanStatus::kScanned) << error;
  EXPECT_THAT(info.classes, SizeIs(68)) << "34 processors, each with its controller";
  for (const auto& entry : info.classes) EXPECT_THAT(entry.classId, FullyMatches("[0-9A-F]{32}"));
  ASSERT_TRUE(info.hostedClass);
  const auto& dx10 = info.classes[*info.hostedClass];
  EXPECT_EQ(dx10.name, "mda DX10");
  EXPECT_EQ(dx10.vendor, "mda");
  EXPECT_THAT(info.hosted.outputs, ElementsAre(Field(&BusInfo::channels, 2)));
  EXPECT_THAT(info.hosted.parameters, SizeIs(19));
  EXPECT_THAT(info.hosted.parameters, Contains(AllOf(Field(&ParameterInfo::title, "Attack"),
                                                     Field(&ParameterInfo::units, "%"))));
  ASSERT_THAT(info.hosted.programs, SizeIs(32));
  EXPECT_EQ(info.hosted.programs[0].name, "Bright E.Piano");
}

TEST_F(Vst3ScanTest, JournalListsEveryClassHostsTheSynthAndTearsItDown) {
  ASSERT_EQ(scan(CORVEL_JOURNAL_VST3), ScanStatus::kScanned) << error;
  ASSERT_THAT(info.classes, SizeIs(4));
  EXPECT_EQ(info.classes[0].subCategories, "Fx");
  EXPECT_EQ(info.classes[3].category, "Component Controller Class");
  EXPECT_EQ(info.hostedClass, 2u);
  EXPECT_EQ(info.classes[2].subCategories, "Instrument|Synth");
  EXPECT_THAT(info.hosted.parameters, ElementsAre(Field(&ParameterInfo::title, "Master Vol")));
  EXPECT_THAT(info.hosted.programs, SizeIs(0)) << "no IUnitInfo, no programs";
  EXPECT_THAT(log.takeErr(), HasSubstr("[journal] component terminate\n"));
}

TEST_F(Vst3ScanTest, LoadFailuresSayWhy) {
  const auto notAModule = std::filesystem::temp_directory_path() / "corvel-scan-not-a-module.vst3";
  std::filesystem::create_directories(notAModule);
  EXPECT_EQ(scan(notAModule.string()), ScanStatus::kLoadFailed);
  EXPECT_FALSE(error.empty());
  std::filesystem::remove_all(notAModule);

  setEnvironmentVariable("CORVEL_JOURNAL_FAIL", "setupProcessing");
  error.clear();
  info = {};
  EXPECT_EQ(scan(CORVEL_JOURNAL_VST3), ScanStatus::kLoadFailed);
  clearEnvironmentVariable("CORVEL_JOURNAL_FAIL");
  EXPECT_EQ(error, "the instrument class Journal Synth could not be hosted");
  EXPECT_THAT(info.classes, SizeIs(4)) << "the classes are still listed";
}

}  // namespace
}  // namespace corvel
