#include "tools/midi_file.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

std::vector<uint8_t> file(uint16_t tracks, std::initializer_list<std::vector<uint8_t>> trackData) {
  std::vector<uint8_t> bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, static_cast<uint8_t>(tracks), 0x01, 0xE0};
  for (const auto& data : trackData) {
    const uint32_t n = static_cast<uint32_t>(data.size());
    bytes.insert(bytes.end(), {'M', 'T', 'r', 'k', static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                               static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  return bytes;
}

TEST(MidiFile, MergesTracksInTimeHonouringTempoAndRunningStatus) {
  // 480 ticks per quarter. Track 1: tempo 60 BPM at 0. Track 2: note on at 0,
  // running-status note on at 480 (one second at 60 BPM), note off at 960.
  const auto bytes = file(2, {{0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x00, 0xFF, 0x2F, 0x00},
                              {0x00, 0x91, 60, 100, 0x83, 0x60, 64, 90, 0x83, 0x60, 0x81, 60, 0,
                               0x00, 0xF0, 0x01, 0xF7, 0x00, 0xFF, 0x2F, 0x00}});
  MidiSong song;
  std::string error;
  ASSERT_TRUE(parseMidiFile(bytes, song, error)) << error;
  ASSERT_EQ(song.events.size(), 3u);
  EXPECT_EQ(song.events[0].status, 0x91);
  EXPECT_DOUBLE_EQ(song.events[1].seconds, 1.0);
  EXPECT_EQ(song.events[1].status, 0x91);
  EXPECT_EQ(song.events[1].data1, 64);
  EXPECT_DOUBLE_EQ(song.events[2].seconds, 2.0);
  EXPECT_EQ(song.events[2].status, 0x81);
  EXPECT_DOUBLE_EQ(song.lengthSeconds, 2.0);
}

TEST(MidiFile, RejectsWhatIsNotAMidiFile) {
  MidiSong song;
  std::string error;
  EXPECT_FALSE(parseMidiFile({'R', 'I', 'F', 'F'}, song, error));
  auto truncated = file(1, {{0x00, 0x90, 60, 100}});
  truncated.resize(truncated.size() - 2);
  EXPECT_FALSE(parseMidiFile(truncated, song, error));
  EXPECT_FALSE(parseMidiFile(file(1, {{0x00, 60, 100}}), song, error));  // data before any status
  auto shortHeader = file(0, {});
  shortHeader[7] = 2;
  EXPECT_FALSE(parseMidiFile(shortHeader, song, error));
  auto endless = file(1, {{0x00, 0x90, 60, 100}});
  std::fill_n(endless.begin() + 18, 4, 0xFF);  // a track of 2^32-1 bytes
  EXPECT_FALSE(parseMidiFile(endless, song, error));
  EXPECT_EQ(error, "truncated track");
}

// System bytes without a length (0xF1-0xF6, 0xF8-0xFE), data bytes with the
// top bit set, and running status carried over a meta or sysex event.
TEST(MidiFile, RefusesTrackDataOutsideTheFileFormat) {
  const std::vector<std::vector<uint8_t>> tracks{{0x00, 0xF8, 0x00, 0x90, 60, 100},
                                                 {0x00, 0xF3, 0x01},
                                                 {0x00, 0x90, 60, 0xFF},
                                                 {0x00, 0x90, 0x80, 100},
                                                 {0x00, 0x90, 60, 100, 0x00, 0xFF, 0x01, 0x00, 0x00, 62, 100},
                                                 {0x00, 0x90, 60, 100, 0x00, 0xF0, 0x01, 0xF7, 0x00, 62, 100}};
  for (const auto& track : tracks) {
    MidiSong song;
    std::string error;
    EXPECT_FALSE(parseMidiFile(file(1, {track}), song, error)) << int{track[1]} << " " << int{track[3]};
    EXPECT_EQ(error, "bad track data");
  }
}

TEST(MidiFile, KeepsTheTempoPastAZeroTempoAndReadsTheTracksThereAre) {
  // 65535 tracks claimed, one present; its zero tempo leaves 120 BPM in force.
  const auto bytes = file(0xFF, {{0x00, 0xFF, 0x51, 0x03, 0, 0, 0, 0x83, 0x60, 0x90, 60, 100}});
  auto claimed = bytes;
  claimed[10] = 0xFF;
  MidiSong song;
  std::string error;
  ASSERT_TRUE(parseMidiFile(claimed, song, error)) << error;
  ASSERT_EQ(song.events.size(), 1u);
  EXPECT_DOUBLE_EQ(song.events[0].seconds, 0.5);
}

}  // namespace
}  // namespace corvel
