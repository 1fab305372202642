#include "host/host_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvel {
namespace {

ParsedOptions parseAll(std::vector<const char*> args) {
  args.insert(args.begin(), "corvel");
  return parseHostOptions(static_cast<int>(args.size()), args.data());
}

HostOptions parse(std::vector<const char*> args) { return parseAll(std::move(args)).options; }

// With both names given, so that only the numbers are judged.
ParsedOptions parseNumbers(const char* option, const char* value) {
  return parseAll({"--shm", "b", "--path", "p", option, value});
}

TEST(HostOptions, DefaultsWhenNothingIsGiven) {
  const HostOptions o = parse({});
  EXPECT_EQ(o.shmName, "");
  EXPECT_EQ(o.sampleRate, 44100.0);
  EXPECT_EQ(o.blockSize, 256u);
  EXPECT_EQ(o.parentPid, 0u);
  EXPECT_FALSE(o.openExisting);
  EXPECT_FALSE(o.vst2);
  EXPECT_EQ(o.channel, 0u);
}

TEST(HostOptions, ValuesAreParsedTheWayTheCLibraryDoes) {
  const HostOptions o = parse({"--shm", "blk", "--path", "/p/x.so", "--sr", "48000.7", "--block", "64abc",
                               "--parent", "0x1A2B", "--channel", "3", "--presetfile", "p.txt", "--open", "--vst2"});
  EXPECT_EQ(o.shmName, "blk");
  EXPECT_EQ(o.pluginPath, "/p/x.so");
  EXPECT_DOUBLE_EQ(o.sampleRate, 48000.7);
  EXPECT_EQ(o.blockSize, 64u);
  EXPECT_EQ(o.parentPid, 6699u);
  EXPECT_EQ(o.channel, 3u);
  EXPECT_EQ(o.presetFile, "p.txt");
  EXPECT_TRUE(o.openExisting);
  EXPECT_TRUE(o.vst2);
  EXPECT_EQ(parse({"--parent", "017"}).parentPid, 15u);
  EXPECT_EQ(parse({"--parent", "abc"}).parentPid, 0u);
  EXPECT_EQ(parse({"--sr", "fast"}).sampleRate, 0.0);
}

TEST(HostOptions, ValueOptionsConsumeTheNextArgumentAndAreIgnoredWhenLast) {
  EXPECT_EQ(parse({"--shm", "--path"}).shmName, "--path");
  EXPECT_EQ(parse({"--shm", "--path"}).pluginPath, "");
  EXPECT_EQ(parse({"--shm", "a", "--path"}).pluginPath, "");
  EXPECT_EQ(parse({"--block"}).blockSize, 256u);
}

TEST(HostOptions, RepeatsOverrideAndUnknownOrDifferentlyCasedArgumentsAreIgnored) {
  const HostOptions o = parse({"--shm", "a", "--SHM", "b", "extra", "--shm", "c", "--Vst2", "-vst2"});
  EXPECT_EQ(o.shmName, "c");
  EXPECT_FALSE(o.vst2);
}

TEST(HostOptions, MissingNamesGiveTheUsageLineBeforeAnyNumberIsJudged) {
  const ParsedOptions parsed = parseAll({"--shm", "b", "--block", "0"});
  EXPECT_EQ(parsed.status, OptionsStatus::kMissingName);
  EXPECT_EQ(parsed.refusal, kUsageLine);
  EXPECT_EQ(parseNumbers("--block", "256").status, OptionsStatus::kValid);
  EXPECT_EQ(parseNumbers("--block", "256").refusal, "");
}

TEST(HostOptions, BlockSizesOutsideOneTo256AreRefusedWithoutWrapping) {
  for (const char* frames : {"0", "-1", "257", "4294967296", "4294967552", "99999999999999999999", "none"})
    EXPECT_EQ(parseNumbers("--block", frames).status, OptionsStatus::kBlockSizeOutOfRange) << frames;
  EXPECT_EQ(parseNumbers("--block", "4294967296").refusal,
            "[corvel] block size 4294967296 exceeds the block's 256 frames\n");
  EXPECT_EQ(parseNumbers("--block", "0").refusal, "[corvel] block size 0 is below 1 frame\n");
  EXPECT_EQ(parseNumbers("--block", "1").options.blockSize, 1u);
}

TEST(HostOptions, SampleRatesThatAreNotFiniteOrOutOfRangeAreRefused) {
  for (const char* rate : {"0", "-1", "nan", "inf", "-inf", "1e300", "999.9", "1000000.5", "fast"})
    EXPECT_EQ(parseNumbers("--sr", rate).status, OptionsStatus::kSampleRateOutOfRange) << rate;
  EXPECT_EQ(parseNumbers("--sr", "1e300").refusal, "[corvel] sample rate 1e+300 is outside 1000-1000000 Hz\n");
  for (const char* rate : {"1000", "1e6", "48000.7"})
    EXPECT_EQ(parseNumbers("--sr", rate).status, OptionsStatus::kValid) << rate;
}

}  // namespace
}  // namespace corvel
