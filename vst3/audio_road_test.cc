// Rendering allocates nothing in either adapter: this binary counts every
// allocation made through the global operator new while a block renders,
// the plug-in's own included.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <vector>

#include "vst2/vst2_test_support.h"
#include "vst3/captured_log.h"
#include "vst3/vst3_instrument.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<int> allocations{0};

void* allocate(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* memory = std::malloc(size ? size : 1)) return memory;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace corvel {
namespace {

constexpr int32_t kBlock = 256;

template <class Body>
int allocationsDuring(Body body) {
  allocations = 0;
  counting = true;
  body();
  counting = false;
  return allocations;
}

int allocationsOfFourBlocks(INativeInstrument& instrument) {
  std::vector<float> left(kBlock), right(kBlock);
  return allocationsDuring([&] {
    for (int block = 0; block < 4; ++block) instrument.process(left.data(), right.data(), kBlock);
  });
}

TEST(AudioRoad, TheCounterSeesAllocations) {
  EXPECT_EQ(allocationsDuring([] { std::vector<int>(4).swap(*std::make_unique<std::vector<int>>()); }), 2);
}

// A chord, a controller and a panic wait for the first counted block.
void queueTraffic(INativeInstrument& instrument) {
  for (uint32_t note : {60, 64, 67}) instrument.noteOn(0, note, 0.8f, 0);
  instrument.controlChange(0, 7, 100);
  instrument.pitchBend(0, 9000);
  instrument.allNotesOff(0);
}

TEST(AudioRoad, Vst2RendersWithoutAllocating) {
  for (const char* variant : {"synth", "wide", "mono"}) {
    testing::LoadedFixture fixture(variant);
    ASSERT_TRUE(fixture.instrument.prepare(48000.0, kBlock));
    testing::StreamCapture err(std::cerr);
    queueTraffic(fixture.instrument);
    EXPECT_EQ(allocationsOfFourBlocks(fixture.instrument), 0) << variant;
  }
}

TEST(AudioRoad, Vst3RendersWithoutAllocating) {
  const std::string mda = std::string(CORVEL_VST3_SAMPLES_DIR) + "/mda-vst3.vst3";
  if (!std::filesystem::exists(mda)) GTEST_SKIP() << "run scripts/setup.d/30-vst3sdk.sh";
  CapturedLog log;
  Vst3Instrument instrument;
  instrument.prepare(48000.0, kBlock);
  ASSERT_TRUE(instrument.loadPlugin(mda, 48000.0));
  queueTraffic(instrument);
  EXPECT_EQ(allocationsOfFourBlocks(instrument), 0);
}

}  // namespace
}  // namespace corvel
