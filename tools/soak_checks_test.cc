// The judgements of corvel-soak, its strict command line and its traffic.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>

#include "tools/soak_checks.h"
#include "tools/soak_options.h"
#include "tools/soak_traffic.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;

TEST(BlockLedger, CountsEverySkippedAndUntakenBlockAcrossTheWrap) {
  BlockLedger ledger(UINT32_MAX - 1);
  ledger.taken(UINT32_MAX);
  ledger.taken(0);
  EXPECT_EQ(ledger.lost(), 0u);
  ledger.taken(3);  // 1 and 2 were overwritten before they were taken
  ledger.settle(4);  // counted, never taken
  EXPECT_EQ(ledger.blocks(), 3u);
  EXPECT_EQ(ledger.lost(), 3u);
}

TEST(GrowthRule, AllowsMemoryToBreatheButNoDescriptorToStay) {
  GrowthRule small;
  small.sample({100000, 10}, false);  // warm-up readings are not the base
  small.sample({20000, 12}, true);
  small.sample({20000 + 8 * 1024, 12}, true);
  EXPECT_EQ(small.verdict(true), GrowthVerdict::kFlat);
  small.sample({20000 + 8 * 1024 + 1, 12}, true);
  EXPECT_EQ(small.verdict(true), GrowthVerdict::kRssUnbounded);
  EXPECT_EQ(small.verdict(false), GrowthVerdict::kFlat);

  GrowthRule large;  // 10 % of the base beats the 8 MiB floor
  large.sample({200000, 12}, true);
  large.sample({220000, 12}, true);
  EXPECT_EQ(large.verdict(true), GrowthVerdict::kFlat);
  large.sample({220000, 13}, true);
  EXPECT_EQ(large.verdict(false), GrowthVerdict::kFdsUnbounded);
  EXPECT_EQ(large.rssGrowthKiB(), 20000);
  EXPECT_EQ(large.fdGrowth(), 1);
}

TEST(HeartbeatWatch, StallsOnlyAfterTwoStillSeconds) {
  HeartbeatWatch watch;
  const auto start = HeartbeatWatch::Clock::now();
  EXPECT_FALSE(watch.stalled(5, start));
  EXPECT_FALSE(watch.stalled(5, start + 1900ms));
  EXPECT_FALSE(watch.stalled(6, start + 3s));
  EXPECT_TRUE(watch.stalled(6, start + 5s));
  watch.restart();
  EXPECT_FALSE(watch.stalled(6, start + 6s));
}

TEST(SoakReport, FindsSanitizerLinesAndKeepsTheSummaryFormat) {
  EXPECT_EQ(sanitizerReport("[corvel] fine\n"), "");
  EXPECT_EQ(sanitizerReport("a\nx.cc:3:1: runtime error: shift\nb\n"), "x.cc:3:1: runtime error: shift");
  EXPECT_EQ(sanitizerReport("==7==ERROR: LeakSanitizer: detected memory leaks"),
            "==7==ERROR: LeakSanitizer: detected memory leaks");
  EXPECT_EQ(occurrences("ab ab a", "ab"), 2u);
  EXPECT_EQ(lastLines("1\n2\n3\n", 2), "2\n3\n");
  EXPECT_EQ(lastLines("1\n2", 5), "1\n2");
  EXPECT_EQ(firstLines("1\n2\n3", 2), "1\n2\n");
  EXPECT_EQ(firstLines("1\n2", 5), "1\n2");
  EXPECT_EQ(summaryLine({12, 3, 4, 1, 0, -20, 0}),
            "soak: 12 blocks, 3 presets, 4 commands, 1 restarts, lost 0, rss -20 KiB, fds +0");
  EXPECT_EQ(summaryLine({1, 0, 0, 0, 2, 512, 1}),
            "soak: 1 blocks, 0 presets, 0 commands, 0 restarts, lost 2, rss +512 KiB, fds +1");
}

TEST(SoakOptions, ParsesStrictlyAndRefusesWhatCannotRun) {
  const SoakParse good = parseSoakOptions({"--plugin", "p", "--seconds", "2.5", "--block", "64", "--seed", "42"});
  ASSERT_EQ(good.command, SoakCommand::kRun) << good.error;
  EXPECT_EQ(good.options.seconds, 2.5);
  EXPECT_EQ(good.options.block, 64u);
  EXPECT_TRUE(good.options.seedGiven);
  EXPECT_EQ(good.options.seed, 42u);
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--plugin", "p", "--block", "64x"}, {"--plugin", "p", "--block", "300"},
        {"--plugin", "p", "--sr", "1e300"}, {"--plugin", "p", "--seconds", "nan"}, {"--plugin", "p", "--seed"},
        {"--plugin", "p", "--seed", "-1"}, {"--plugin", "p", "--chaos", "--allow-quit"}, {"--seconds", "3"},
        {"--plugin", "p", "--frobnicate"}})
    EXPECT_EQ(parseSoakOptions(bad).command, SoakCommand::kRefused) << bad.back();
  EXPECT_EQ(parseSoakOptions({"--block", "x", "--help"}).command, SoakCommand::kHelp);
}

// Whatever the seed, every record is a valid message and every note that
// starts also ends, once.
TEST(MidiTraffic, SendsValidMessagesAndEndsEveryNote) {
  SoakRandom random(7);
  MidiTraffic traffic;
  std::set<std::pair<int, int>> sounding;
  size_t notes = 0;
  auto play = [&](const std::vector<ShmMidiEvent>& batch) {
    ASSERT_LE(batch.size(), kMidiCapacity);
    for (const ShmMidiEvent& e : batch) {
      ASSERT_LT(e.channel, 16);
      ASSERT_LT(e.data1 | e.data2 | e.value | e.valueHigh, 128);
      const std::pair<int, int> key{e.channel, e.data1};
      if (e.type == kMidiNoteOn) {
        ASSERT_GT(e.data2, 0);
        ASSERT_TRUE(sounding.insert(key).second);
        ++notes;
      } else if (e.type == kMidiNoteOff) {
        ASSERT_EQ(sounding.erase(key), 1u);
      } else {
        ASSERT_TRUE(e.type == kMidiControlChange || e.type == kMidiProgramChange || e.type == kMidiPitchBend);
      }
    }
  };
  for (int step = 0; step < 20000; ++step) play(traffic.nextBatch(random));
  play(traffic.releaseAll());
  EXPECT_TRUE(sounding.empty());
  EXPECT_GT(notes, 100u);
}

// Chaos is only hostile if every class of value actually comes up.
TEST(ChaosTraffic, DrawsEveryClassOfCountSizeAndCode) {
  SoakRandom random(3);
  std::set<std::string> classes;
  auto classOf = [](uint64_t value, uint64_t capacity) {
    if (value == 0) return "zero";
    if (value == UINT32_MAX) return "largest";
    return value <= capacity ? "within" : value == capacity + 1 ? "just over" : "over";
  };
  auto blockMemory = std::make_unique<ShmBlock>();
  ShmBlock& block = *blockMemory;
  bool knownCodeSent = false;
  for (int i = 0; i < 2000; ++i) {
    classes.insert(std::string("midi ") + classOf(chaos::writeMidi(block, random), kMidiCapacity));
    classes.insert(std::string("commands ") +
                   classOf(chaos::writeCommands(block, random, {kCommandAllNotesOff}), kCommandCapacity));
    const uint32_t size = chaos::writePreset(block, random);
    const bool stub = size > 0 && size < kSmallestPreset;
    classes.insert(std::string("preset ") + (stub ? "stub" : classOf(size, kPresetCapacity - 1)));
    for (const ShmCommand& command : block.commands) {
      knownCodeSent = knownCodeSent || command.code == kCommandAllNotesOff;
      ASSERT_TRUE(command.code == kCommandAllNotesOff || command.code < kCommandOpenGui ||
                  command.code > kCommandAllNotesOff);
    }
  }
  EXPECT_TRUE(knownCodeSent);
  for (const char* kind : {"midi ", "commands ", "preset "})
    for (const char* cls : {"zero", "within", "just over", "over", "largest"})
      EXPECT_TRUE(classes.count(std::string(kind) + cls)) << kind << cls;
  EXPECT_TRUE(classes.count("preset stub"));
}

}  // namespace
}  // namespace corvel
