// The VST 2.x wire format between the adapter and a plug-in library: the
// records, function types, opcode numbers and flag bits, in the published
// 64-bit layout. Defined here from the layout description alone. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvel::vst2 {

struct AEffect;

using DispatcherProc = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                    void* ptr, float opt);
using ProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs, int32_t sampleFrames);
using ProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs,
                                   int32_t sampleFrames);
using SetParameterProc = void (*)(AEffect* effect, int32_t index, float value);
using GetParameterProc = float (*)(AEffect* effect, int32_t index);
// The host's callback (`audioMasterCallback`): same arguments as the dispatcher.
using HostCallbackProc = DispatcherProc;
using EntryProc = AEffect* (*)(HostCallbackProc hostCallback);

constexpr int32_t kEffectMagic = 0x56737450;  // 'VstP'

struct AEffect {
  int32_t magic;
  int32_t padding0;
  DispatcherProc dispatcher;
  ProcessProc process;  // deprecated accumulating process
  SetParameterProc setParameter;
  GetParameterProc getParameter;
  int32_t numPrograms;
  int32_t numParams;
  int32_t numInputs;
  int32_t numOutputs;
  uint32_t flags;
  int32_t padding1;
  intptr_t reserved1;
  intptr_t reserved2;
  int32_t initialDelay;
  int32_t realQualities;
  int32_t offQualities;
  float ioRatio;
  void* object;
  void* user;
  int32_t uniqueID;
  int32_t version;
  ProcessProc processReplacing;
  ProcessDoubleProc processDoubleReplacing;
  char future[56];
};

static_assert(sizeof(AEffect) == 192);
static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, numPrograms) == 40);
static_assert(offsetof(AEffect, numParams) == 44);
static_assert(offsetof(AEffect, numInputs) == 48);
static_assert(offsetof(AEffect, numOutputs) == 52);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, initialDelay) == 80);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, uniqueID) == 112);
static_assert(offsetof(AEffect, version) == 116);
static_assert(offsetof(AEffect, processReplacing) == 120);
static_assert(offsetof(AEffect, processDoubleReplacing) == 128);
static_assert(offsetof(AEffect, future) == 136);

constexpr uint32_t effFlagsHasEditor = 1u << 0;
constexpr uint32_t effFlagsCanReplacing = 1u << 4;
constexpr uint32_t effFlagsProgramChunks = 1u << 5;

// Opcodes the host sends to the plug-in's dispatcher.
constexpr int32_t effOpen = 0;
constexpr int32_t effClose = 1;
constexpr int32_t effSetProgram = 2;
constexpr int32_t effGetProgramName = 5;  // text: the current program's name
constexpr int32_t effGetParamLabel = 6;  // index: parameter; text: its units
constexpr int32_t effGetParamName = 8;   // index: parameter; text: its title
constexpr int32_t effSetSampleRate = 10;
constexpr int32_t effSetBlockSize = 11;
constexpr int32_t effMainsChanged = 12;
constexpr int32_t effEditGetRect = 13;
constexpr int32_t effEditOpen = 14;
constexpr int32_t effEditClose = 15;
constexpr int32_t effEditIdle = 19;
constexpr int32_t effGetChunk = 23;
constexpr int32_t effSetChunk = 24;
constexpr int32_t effProcessEvents = 25;
constexpr int32_t effGetProgramNameIndexed = 29;  // index: program; text: its name
constexpr int32_t effGetEffectName = 45;
constexpr int32_t effGetVendorString = 47;
constexpr int32_t effGetProductString = 48;
// ptr: the question as text; answers 1 (yes), -1 (no) or 0 (does not know).
constexpr int32_t effCanDo = 51;
constexpr int32_t effStartProcess = 71;
constexpr int32_t effStopProcess = 72;

// Opcodes the plug-in sends to the host callback.
constexpr int32_t audioMasterAutomate = 0;
constexpr int32_t audioMasterVersion = 1;
constexpr int32_t audioMasterCurrentId = 2;
constexpr int32_t audioMasterIdle = 3;
constexpr int32_t audioMasterWantMidi = 6;
constexpr int32_t audioMasterGetTime = 7;
constexpr int32_t audioMasterProcessEvents = 8;
constexpr int32_t audioMasterSizeWindow = 15;
constexpr int32_t audioMasterGetSampleRate = 16;
constexpr int32_t audioMasterGetBlockSize = 17;
constexpr int32_t audioMasterGetCurrentProcessLevel = 23;
constexpr int32_t audioMasterCanDo = 37;
constexpr int32_t audioMasterGetDirectory = 41;
constexpr int32_t audioMasterUpdateDisplay = 42;
constexpr int32_t audioMasterBeginEdit = 43;
constexpr int32_t audioMasterEndEdit = 44;

// Text buffers handed with the string-query opcodes.
constexpr size_t kEffectStringCapacity = 256;

constexpr int32_t kVstMidiType = 1;

struct VstMidiEvent {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  int32_t noteLength;
  int32_t noteOffset;
  uint8_t midiData[4];
  int8_t detune;
  uint8_t noteOffVelocity;
  uint8_t reserved1;
  uint8_t reserved2;
};

static_assert(sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiEvent, deltaFrames) == 8);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(offsetof(VstMidiEvent, detune) == 28);

// Generic event header; a plug-in reads `type` and casts.
struct VstEvent {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  uint8_t data[16];
};

static_assert(sizeof(VstEvent) == sizeof(VstMidiEvent));

// A batch of events: a count, then as many entries as it announces. The
// record is variable in length; `Capacity` is the room a sender sets aside.
template <size_t Capacity>
struct VstEventsOf {
  int32_t numEvents;
  int32_t padding;
  intptr_t reserved;
  VstEvent* events[Capacity];
};

// The batch as plug-ins declare it, with two entries; they read past the
// second when more are announced.
using VstEvents = VstEventsOf<2>;

static_assert(sizeof(VstEvents) == 32);
static_assert(offsetof(VstEvents, reserved) == 8);
static_assert(offsetof(VstEvents, events) == 16);
static_assert(offsetof(VstEventsOf<1024>, events) == offsetof(VstEvents, events));

constexpr int32_t kVstTransportChanged = 1;
constexpr int32_t kVstTransportRecording = 8;

struct VstTimeInfo {
  double samplePos;
  double sampleRate;
  double nanoSeconds;
  double ppqPos;
  double tempo;
  double barStartPos;
  double cycleStartPos;
  double cycleEndPos;
  int32_t timeSigNumerator;
  int32_t timeSigDenominator;
  int32_t smpteOffset;
  int32_t smpteFrameRate;
  int32_t samplesToNextClock;
  int32_t flags;
};

static_assert(sizeof(VstTimeInfo) == 88);
static_assert(offsetof(VstTimeInfo, tempo) == 32);
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64);
static_assert(offsetof(VstTimeInfo, smpteOffset) == 72);
static_assert(offsetof(VstTimeInfo, flags) == 84);

// Editor rectangle, in pixels; the plug-in owns it and answers
// effEditGetRect with its address.
struct ERect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

static_assert(sizeof(ERect) == 8);
static_assert(offsetof(ERect, left) == 2);
static_assert(offsetof(ERect, bottom) == 4);
static_assert(offsetof(ERect, right) == 6);

}  // namespace corvel::vst2
