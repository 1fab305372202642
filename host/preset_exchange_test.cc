#include "host/preset_exchange.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "host/host_fixture.h"

namespace corvel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> panicCalls() {
  std::vector<std::string> calls{"controlChange 0 64 0", "controlChange 0 123 0"};
  for (int note = 0; note < 128; ++note) calls.push_back("noteOff 0 " + std::to_string(note) + " 0");
  calls.push_back("captureState");
  return calls;
}

template <class Body>
std::string stdoutOf(Body body) {
  testing::internal::CaptureStdout();
  body();
  return testing::internal::GetCapturedStdout();
}

TEST(PresetExchange, InitialPublicationThenPanicInOrder) {
  HostFixture host;
  host.instrument.state = "hello";
  const std::string out = stdoutOf([&] { host.presets.publishInitial(); });
  EXPECT_EQ(out, "[corvel] initial preset published ch=0 (5B)\n[corvel] panic after preset ch=0\n");
  EXPECT_EQ(host.published(), "hello");
  auto expected = panicCalls();
  expected.insert(expected.begin(), "captureState");
  EXPECT_EQ(host.takeCalls(), expected);
}

TEST(PresetExchange, AnEmptyStateIsNeverPublished) {
  HostFixture host;
  const std::string out = stdoutOf([&] { host.presets.publishInitial(); });
  EXPECT_EQ(out, "[corvel] panic after preset ch=0\n");
  EXPECT_EQ(host.block->presetOutSize, 0u);
}

TEST(PresetExchange, IncomingSizesAreRejectedAppliedOrIgnoredByClass) {
  HostFixture host;
  const std::string text(70000, 'p');
  EXPECT_EQ(stdoutOf([&] { host.sendPreset(text, 99), host.presets.takeIncoming(); }),
            "[corvel] preset rejected ch=0 (stub 99B)\n");
  EXPECT_EQ(host.block->presetInSize, 0u);
  EXPECT_TRUE(host.takeCalls().empty());

  for (uint32_t size : {100u, 65535u}) {
    const std::string out = stdoutOf([&] { host.sendPreset(text, size), host.presets.takeIncoming(); });
    EXPECT_THAT(out, HasSubstr("[corvel] preset applied from SHM ch=0 (" + std::to_string(size) + "B)\n"));
    EXPECT_EQ(host.block->presetInSize, 0u);
    EXPECT_EQ(host.takeCalls().front(), "loadSerializedState " + std::to_string(size));
    EXPECT_EQ(host.published(), text.substr(0, size));
  }

  host.sendPreset(text, 65536);
  for (int pass = 0; pass < 3; ++pass)
    EXPECT_EQ(stdoutOf([&] { host.presets.takeIncoming(); }), "");
  EXPECT_EQ(host.block->presetInSize, 65536u);
  EXPECT_TRUE(host.takeCalls().empty());
}

TEST(PresetExchange, TheSameTextTwiceIsAppliedTwiceWithTwoPanics) {
  HostFixture host;
  const std::string text(5000, 'q');
  std::string out;
  for (int i = 0; i < 2; ++i) out += stdoutOf([&] { host.sendPreset(text, 5000), host.presets.takeIncoming(); });
  EXPECT_EQ(out,
            "[corvel] preset applied from SHM ch=0 (5000B)\n[corvel] panic after preset ch=0\n"
            "[corvel] preset applied from SHM ch=0 (5000B)\n[corvel] panic after preset ch=0\n");
  auto expected = std::vector<std::string>{"loadSerializedState 5000", "captureState"};
  const auto panic = panicCalls();
  expected.insert(expected.end(), panic.begin(), panic.end());
  auto twice = expected;
  twice.insert(twice.end(), expected.begin(), expected.end());
  EXPECT_EQ(host.takeCalls(), twice);
}

TEST(PresetExchange, RepublishesOnlyAChangedPublishableState) {
  HostFixture host;
  host.instrument.state = "one";
  stdoutOf([&] { host.presets.publishInitial(); });
  EXPECT_EQ(stdoutOf([&] { host.presets.republishIfChanged(); }), "");
  host.instrument.state = "two";
  EXPECT_EQ(stdoutOf([&] { host.presets.republishIfChanged(); }), "[corvel] preset republished ch=0 (3B)\n");
  EXPECT_EQ(stdoutOf([&] { host.presets.republishIfChanged(); }), "");
  host.instrument.state = std::string(65536, 'z');
  EXPECT_EQ(stdoutOf([&] { host.presets.republishIfChanged(); }), "");
  EXPECT_EQ(host.published(), "two");
}

TEST(PresetExchange, PanicTakesItsOwnResultAsTheBaselineWithoutPublishing) {
  HostFixture host;
  host.instrument.state = "before";
  stdoutOf([&] { host.presets.publishInitial(); });
  host.instrument.state = "after-panic";
  stdoutOf([&] { host.presets.panic(); });
  EXPECT_EQ(host.published(), "before");
  EXPECT_EQ(host.presets.lastPublished(), "after-panic");
  EXPECT_EQ(stdoutOf([&] { host.presets.republishIfChanged(); }), "");
}

TEST(PresetExchange, RandomBytesAndSizesNeverReachBeyondTheAreas) {
  HostFixture host;
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    for (auto& byte : host.block->presetIn) byte = static_cast<uint8_t>(random());
    host.block->presetInSize = random();
    stdoutOf([&] { host.presets.takeIncoming(); });
    EXPECT_TRUE(host.block->presetInSize == 0 || host.block->presetInSize >= kPresetCapacity);
  }
}

}  // namespace
}  // namespace corvel
