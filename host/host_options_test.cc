#include "host/host_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvel {
namespace {

HostOptions parse(std::vector<const char*> args) {
  args.insert(args.begin(), "corvel");
  return parseHostOptions(static_cast<int>(args.size()), args.data());
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

}  // namespace
}  // namespace corvel
