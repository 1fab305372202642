// MIDI in: notes become events with ids, controllers become parameter changes.
#include <string>

#include "instrument/log.h"
#include "platform/system.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "vst3/loaded_plugin.h"
#include "vst3/vst3_instrument.h"

namespace corvel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr ParamID kControllerBaseTag = 4096;
constexpr ParamID kPitchBendTag = 8192;
constexpr ParamID kProgramTag = 12288;
// The only controller number that falls back to a volume-like parameter.
constexpr uint32_t kVolumeController = 7;
constexpr const char* kVolumeNames[] = {"volume", "gain", "output", "level", "master"};
constexpr int kTitleLimit = 127;

int32_t pid() { return static_cast<int32_t>(currentProcessId()); }

Event noteEvent(uint16 type, int32_t sampleOffset) {
  Event event{};
  event.busIndex = 0;
  event.sampleOffset = sampleOffset;
  event.ppqPosition = 0.0;
  event.flags = Event::kIsLive;
  event.type = type;
  return event;
}

ParamID findMidiAssignment(IEditController* controller, int16 midiChannel, uint32_t number,
                           ParamID defaultId) {
  FUnknownPtr<IMidiMapping> mapping(controller);
  if (!mapping) return defaultId;
  ParamID id = kNoParamId;
  if (mapping->getMidiControllerAssignment(0, midiChannel, static_cast<CtrlNumber>(number), id) !=
          kResultOk ||
      id == kNoParamId) {
    return defaultId;
  }
  return id;
}

// Low 7 bits, ASCII upper case folded to lower case.
char16 fold(char16 c) {
  c &= 0x7F;
  return (c >= 'A' && c <= 'Z') ? static_cast<char16>(c + ('a' - 'A')) : c;
}

bool matchesAt(const String128& title, int start, const char* name) {
  for (int k = 0; name[k]; ++k) {
    int at = start + k;
    if (at >= kTitleLimit || title[at] == 0 || fold(title[at]) != name[k]) return false;
  }
  return true;
}

bool titleContains(const String128& title, const char* name) {
  for (int start = 0; start < kTitleLimit && title[start] != 0; ++start) {
    if (matchesAt(title, start, name)) return true;
  }
  return false;
}

bool isVolumeLike(const String128& title) {
  for (const char* name : kVolumeNames) {
    if (titleContains(title, name)) return true;
  }
  return false;
}

}  // namespace

void Vst3Instrument::noteOn(uint32_t hostChannel, uint32_t pitch, float velocity,
                            int32_t sampleOffset) {
  if (!plugin || !plugin->component) return;
  int32_t id = plugin->nextNoteId;
  plugin->nextNoteId = static_cast<int32_t>(static_cast<uint32_t>(id) + 1u);
  if (id <= 0) {
    id = 1;
    plugin->nextNoteId = 2;
  }
  if (pitch < kMidiNumbers) plugin->noteIds[pitch].push_back(id);

  Event event = noteEvent(Event::kNoteOnEvent, sampleOffset);
  event.noteOn = {0, static_cast<int16>(pitch), 0.0f, velocity, 0, id};
  plugin->eventList.addEvent(event);
  log::err("[midi] pid=", pid(), " ON ch=", hostChannel, " p=", pitch, " id=", id, " v=", velocity);
}

int32_t Vst3Instrument::addNoteOff(uint32_t pitch, int32_t noteId, int32_t sampleOffset) {
  Event event = noteEvent(Event::kNoteOffEvent, sampleOffset);
  event.noteOff = {0, static_cast<int16>(pitch), 0.0f, noteId, 0.0f};
  return plugin->eventList.addEvent(event);
}

void Vst3Instrument::noteOff(uint32_t hostChannel, uint32_t pitch, int32_t sampleOffset) {
  if (!plugin || !plugin->component) return;
  if (pitch < kMidiNumbers && !plugin->noteIds[pitch].empty()) {
    auto& ids = plugin->noteIds[pitch];
    std::string joined;
    for (int32_t id : ids) {
      addNoteOff(pitch, id, sampleOffset);
      if (!joined.empty()) joined += ',';
      joined += std::to_string(id);
    }
    log::err("[midi] pid=", pid(), " OFF ch=", hostChannel, " p=", pitch, " ids=[", joined, "]");
    ids.clear();
    return;
  }
  // Every note this adapter started below 128 has an id, so such a note-off
  // ends nothing. A panic's 128 of them in one block overflow plug-ins with
  // fixed event buffers (mda's hold 64) and corrupt the notes beside them.
  if (pitch < kMidiNumbers) {
    log::err("[midi] pid=", pid(), " OFF ch=", hostChannel, " p=", pitch, " untracked, not sent");
    return;
  }
  int32_t added = addNoteOff(pitch, 0, sampleOffset);
  log::err("[midi] pid=", pid(), " OFF ch=", hostChannel, " p=", pitch, " untracked(0) add=", added);
}

void Vst3Instrument::controlChange(uint32_t, uint32_t number, uint32_t value) {
  if (!plugin || !plugin->controller) return;
  const ParamID defaultTag = kControllerBaseTag + number;
  ParamID tag = findMidiAssignment(plugin->controller, 0, number, defaultTag);
  if (number < kMidiNumbers) {
    if (tag == defaultTag && !plugin->ccSearched[number]) {
      plugin->ccSearched[number] = true;
      // Sustain, all-notes-off and the rest reach nothing: 4096 + n may be a
      // real parameter, and a volume-like one must not follow them.
      plugin->ccFallbackTag[number] = number == kVolumeController ? findVolumeParameter() : kNoParamId;
      log::err("[midi] cc=", number, " no IMidiMapping \u2192 volume-param tag=0x",
               log::Hex{plugin->ccFallbackTag[number]});
    }
    if (tag == defaultTag) tag = plugin->ccFallbackTag[number];
    if (!plugin->ccLogged[number]) {
      plugin->ccLogged[number] = true;
      log::err("[midi] cc=", number, " tag=0x", log::Hex{tag}, " v=", value);
    }
  }
  if (tag == kNoParamId) return;
  queueParameterChange(tag, value / 127.0);
}

void Vst3Instrument::pitchBend(uint32_t, int32_t value) {
  if (!plugin || !plugin->controller) return;
  ParamID tag = findMidiAssignment(plugin->controller, 0, kPitchBend, kPitchBendTag);
  queueParameterChange(tag, value / 16383.0);
}

void Vst3Instrument::programChange(uint32_t, uint32_t program) {
  if (!plugin || !plugin->controller) return;
  queueParameterChange(kProgramTag, (program & 127) / 127.0);
}

void Vst3Instrument::queueParameterChange(uint32_t id, double value) {
  plugin->controller->setParamNormalized(id, value);
  int32 index = 0;
  if (IParamValueQueue* queue = plugin->parameterChanges.addParameterData(id, index)) {
    queue->addPoint(0, value, index);
  }
}

uint32_t Vst3Instrument::findVolumeParameter() const {
  IEditController* controller = plugin->controller;
  int32 count = controller->getParameterCount();
  for (int32 index = 0; index < count; ++index) {
    ParameterInfo info{};
    if (controller->getParameterInfo(index, info) != kResultOk) continue;
    if (isVolumeLike(info.title)) return info.id;
  }
  return kNoParamId;
}

}  // namespace corvel
