#include "vst2/vst2_scan.h"

#include <gmock/gmock.h>

#include <filesystem>

#include "vst2/vst2_test_support.h"

// gcc and clang say they check for leaks in different ways.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VST2_SCAN_TEST_LEAK_CHECKED
#endif
#endif
#ifdef __SANITIZE_ADDRESS__
#define VST2_SCAN_TEST_LEAK_CHECKED
#endif
#ifdef VST2_SCAN_TEST_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

namespace corvel {
namespace {

using ::testing::ElementsAre;
using ::testing::FieldsAre;
using testing::fixturePath;
using testing::StreamCapture;

struct ScanResult {
  ScanStatus status;
  Vst2PluginInfo info;
  std::string error;
};

ScanResult scan(const std::string& path) {
  StreamCapture out(std::cout), err(std::cerr);
  ScanResult result;
  result.status = scanVst2Plugin(path, result.info, result.error);
  return result;
}

TEST(Vst2Scan, DescribesTheFixtureSynth) {
  const ScanResult result = scan(fixturePath("synth"));
  ASSERT_EQ(result.status, ScanStatus::kScanned) << result.error;
  const Vst2PluginInfo& info = result.info;
  EXPECT_EQ(info.name, "Fixture Synth");
  EXPECT_EQ(info.vendor, "corvel tests");
  EXPECT_EQ(info.product, "fixture/synth 1");
  EXPECT_EQ(info.uniqueId, 0x46695874);
  EXPECT_EQ(info.version, 7);
  EXPECT_EQ(info.flags, 0x30u);
  EXPECT_THAT(info.canDos, ElementsAre("receiveVstEvents", "receiveVstMidiEvent")) << "a no is left out";
  EXPECT_THAT(info.hosted.outputs, ElementsAre(FieldsAre("Output", 2)));
  EXPECT_THAT(info.hosted.parameters,
              ElementsAre(FieldsAre(0u, "Cutoff", "Hz", 0.25, 0, 0u), FieldsAre(1u, "Gain", "dB", 0.5, 0, 0u)));
  EXPECT_THAT(info.hosted.programs, ElementsAre(FieldsAre(0, "Init"), FieldsAre(1, "Bright Pad")));
}

// amsynth leaves objects behind after effClose; they are its own, not ours.
#ifdef VST2_SCAN_TEST_LEAK_CHECKED
using ForeignLeaksIgnored = __lsan::ScopedDisabler;
#else
struct ForeignLeaksIgnored {};
#endif

// Debian's build, on the platform it is built for.
TEST(Vst2Scan, DescribesDebiansAmsynth) {
#ifndef VST2_AMSYNTH_PATH
  GTEST_SKIP() << "no amsynth build for this platform";
#else
  const std::string path = VST2_AMSYNTH_PATH;
  if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not installed";
  [[maybe_unused]] const ForeignLeaksIgnored ignored;
  const ScanResult result = scan(path);
  ASSERT_EQ(result.status, ScanStatus::kScanned) << result.error;
  EXPECT_EQ(result.info.name, "amsynth");
  EXPECT_EQ(result.info.vendor, "Nick Dowell");
  ASSERT_FALSE(result.info.hosted.programs.empty());
  EXPECT_FALSE(result.info.hosted.programs[0].name.empty());
#endif
}

TEST(Vst2Scan, LoadFailuresSayWhy) {
  const std::string noEntry = fixturePath("no_entry");
  const ScanResult refused = scan(noEntry);
  EXPECT_EQ(refused.status, ScanStatus::kLoadFailed);
  EXPECT_EQ(refused.error, "no VSTPluginMain/main export: " + noEntry);

  const ScanResult faulted = scan(fixturePath("fault_in_open"));
  EXPECT_EQ(faulted.status, ScanStatus::kLoadFailed);
  EXPECT_EQ(faulted.error, "the plug-in faulted while it was opened: " + fixturePath("fault_in_open"));
}

}  // namespace
}  // namespace corvel
