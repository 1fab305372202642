// The shared block between the parent application and one host process: its
// layout, byte for byte, and the ordered accessors both sides use for the
// count, index and size fields. Included by the host and by the client
// library so the two sides cannot drift apart.
//
// Every exchange is a field with one writer per direction. Payloads (records,
// samples, texts) are plain memory written before the field that announces
// them (release store) and read after it (acquire load).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace corvel {

inline constexpr size_t kShmBlockSize = 163520;
inline constexpr uint32_t kMaxBlockFrames = 256;
// The sample rates a host serves; it refuses others before mapping the block.
inline constexpr double kMinSampleRate = 1000.0;
inline constexpr double kMaxSampleRate = 1000000.0;
inline constexpr uint32_t kMidiCapacity = 64;
inline constexpr uint32_t kCommandCapacity = 8;
inline constexpr uint32_t kPresetCapacity = 65536;
// Preset texts shorter than this are stubs: the host clears their size
// without applying them.
inline constexpr uint32_t kSmallestPreset = 100;
// A block with no held notes whose peak stays below this puts the host to
// sleep until the next MIDI batch; a parent rendering offline mirrors it.
inline constexpr float kSilenceThreshold = 0.0005f;

// The high nibble of a MIDI status byte.
enum MidiType : uint8_t {
  kMidiNoteOff = 8,
  kMidiNoteOn = 9,
  kMidiControlChange = 11,
  kMidiProgramChange = 12,
  kMidiPitchBend = 14,
};

enum CommandCode : uint32_t {
  kCommandOpenGui = 4,
  kCommandCloseGui = 5,
  kCommandQuit = 6,
  kCommandAllNotesOff = 7,
};

struct ShmMidiEvent {
  uint8_t type;       // MidiType; any other value is skipped
  uint8_t channel;    // passed to the instrument unchanged
  uint8_t data1;      // note or controller number
  uint8_t data2;      // note-on velocity
  uint8_t value;      // controller value, program, or pitch-bend low 7 bits
  uint8_t valueHigh;  // pitch-bend high 7 bits
  uint8_t reserved[6];
};
static_assert(sizeof(ShmMidiEvent) == 12);

struct ShmCommand {
  uint32_t code;  // CommandCode; any other value is ignored
  uint8_t reserved[1036];
};
static_assert(sizeof(ShmCommand) == 1040);

struct ShmBlock {
  uint32_t reserved0;
  uint32_t renderCount;  // host: +1 per block, after frontIndex
  uint8_t reserved1[2056];
  ShmMidiEvent midiEvents[kMidiCapacity];
  uint32_t midiCount;  // parent sets, host clears
  ShmCommand commands[kCommandCapacity];
  uint32_t commandCount;  // parent sets, host clears
  uint32_t reserved2;
  uint32_t heartbeat;  // host heartbeat thread: +1 every 100 ms
  uint8_t reserved3[17160];
  uint32_t frontIndex;  // host: buffer of the newest block; bit 0 only
  float outLeft[2][kMaxBlockFrames];
  float outRight[2][kMaxBlockFrames];
  uint8_t presetIn[kPresetCapacity];
  uint32_t presetInSize;  // parent sets, host clears
  uint8_t presetOut[kPresetCapacity];
  uint32_t presetOutSize;     // host
  uint32_t consumedCount[2];  // parent: blocks taken per buffer
  uint32_t reserved4;
};

static_assert(offsetof(ShmBlock, renderCount) == 0x00004);
static_assert(offsetof(ShmBlock, midiEvents) == 0x00810);
static_assert(offsetof(ShmBlock, midiCount) == 0x00B10);
static_assert(offsetof(ShmBlock, commands) == 0x00B14);
static_assert(offsetof(ShmBlock, commandCount) == 0x02B94);
static_assert(offsetof(ShmBlock, heartbeat) == 0x02B9C);
static_assert(offsetof(ShmBlock, frontIndex) == 0x06EA8);
static_assert(offsetof(ShmBlock, outLeft) == 0x06EAC);
static_assert(offsetof(ShmBlock, outLeft[1]) == 0x072AC);
static_assert(offsetof(ShmBlock, outRight) == 0x076AC);
static_assert(offsetof(ShmBlock, outRight[1]) == 0x07AAC);
static_assert(offsetof(ShmBlock, presetIn) == 0x07EAC);
static_assert(offsetof(ShmBlock, presetInSize) == 0x17EAC);
static_assert(offsetof(ShmBlock, presetOut) == 0x17EB0);
static_assert(offsetof(ShmBlock, presetOutSize) == 0x27EB0);
static_assert(offsetof(ShmBlock, consumedCount) == 0x27EB4);
static_assert(sizeof(ShmBlock) == kShmBlockSize);

// Ordered access to a field that the other process reads or writes. Any thread.
inline uint32_t loadAcquire(const uint32_t& field) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(field)).load(std::memory_order_acquire);
}

inline void storeRelease(uint32_t& field, uint32_t value) {
  std::atomic_ref<uint32_t>(field).store(value, std::memory_order_release);
}

}  // namespace corvel
