// The C interface (corvel/corvel.h) over corvel::Session. Nothing thrown
// gets past it: every entry point turns a failure into a status and keeps
// its text for corvel_session_last_error. Every function here runs on the
// thread that holds the session at the time, one call at a time, as
// corvel.h says; the ones without a session run on any thread.
#include "corvel/corvel.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <exception>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "corvel/session.h"

namespace {

using corvel::MidiEvent;
using corvel::PushStatus;
using corvel::RenderStatus;
using corvel::StartStatus;

// What one render_block call may carry: one batch and the backlog a
// session keeps for the blocks after it. Converted in place, so that the
// real-time road allocates nothing.
constexpr size_t kBlockEventLimit = 4 * corvel::kMidiCapacity;

// The first corvel_options ended with restart_automatically. A caller built
// against any version passes at least this much; fields added later are
// read only when struct_size covers them.
constexpr size_t kFirstOptionsSize =
    offsetof(corvel_options, restart_automatically) + sizeof(corvel_options::restart_automatically);

// Room for this layer's own texts, so that setting one on the real-time road
// does not allocate.
constexpr size_t kFailureReserve = 256;

corvel_status fromStart(StartStatus status) {
  switch (status) {
    case StartStatus::kStarted: return CORVEL_OK;
    case StartStatus::kBadOptions: return CORVEL_BAD_ARGUMENT;
    case StartStatus::kNoBlock:
    case StartStatus::kNoHost:
    case StartStatus::kHostEnded:
    case StartStatus::kNoFirstBlock: return CORVEL_START_FAILED;
    case StartStatus::kPresetRefused: return CORVEL_PRESET_REJECTED;
  }
  return CORVEL_START_FAILED;
}

// [audio] no allocation, no lock.
corvel_status fromRender(RenderStatus status) {
  switch (status) {
    case RenderStatus::kBlock: return CORVEL_BLOCK;
    case RenderStatus::kIdle: return CORVEL_IDLE;
    case RenderStatus::kLate: return CORVEL_LATE;
    case RenderStatus::kHostGone: return CORVEL_HOST_GONE;
    case RenderStatus::kHung: return CORVEL_HUNG;
    case RenderStatus::kNotRunning: return CORVEL_NOT_RUNNING;
    case RenderStatus::kBadArgument: return CORVEL_BAD_ARGUMENT;
  }
  return CORVEL_NOT_RUNNING;
}

corvel_status fromPush(PushStatus status) {
  switch (status) {
    case PushStatus::kTaken: return CORVEL_OK;
    case PushStatus::kRejected: return CORVEL_PRESET_REJECTED;
    case PushStatus::kTooLarge: return CORVEL_PRESET_TOO_LARGE;
    case PushStatus::kHostGone: return CORVEL_HOST_GONE;
    case PushStatus::kNotRunning: return CORVEL_NOT_RUNNING;
  }
  return CORVEL_NOT_RUNNING;
}

// Copies `count` events into `out`; false when one has a nonzero reserved
// byte, which a later version may give a meaning. [audio] no allocation, no lock.
bool convertEvents(const corvel_event* events, size_t count, MidiEvent* out) {
  for (size_t i = 0; i < count; ++i) {
    if (events[i].reserved != 0) return false;
    out[i] = MidiEvent{events[i].frame, events[i].status, events[i].data1, events[i].data2};
  }
  return true;
}

std::string orEmpty(const char* value) { return value ? value : ""; }

corvel::SessionOptions sessionOptions(const corvel_options& options) {
  corvel::SessionOptions result;
  result.plugin = options.plugin;
  result.vst2 = options.vst2 != 0;
  result.sampleRate = options.sample_rate;
  result.blockFrames = options.block_frames;
  result.presetText = orEmpty(options.preset_text);
  result.presetFile = orEmpty(options.preset_file);
  result.hostPath = orEmpty(options.host_path);
  result.spin = std::chrono::microseconds(options.spin_us);
  result.rtPriority = options.rt_priority;
  result.startLimit = std::chrono::milliseconds(options.start_limit_ms);
  result.hangLimit = std::chrono::milliseconds(options.hang_limit_ms);
  result.restartAutomatically = options.restart_automatically != 0;
  return result;
}

// The session's failure as one text: what happened and how the host ended
// (the session's message says both), then the host's last log lines.
std::string describe(const corvel::SessionError& error) {
  return error.hostLog.empty() ? error.message : error.message + "\n" + error.hostLog;
}

}  // namespace

struct corvel_session {
  corvel_session() { failure.reserve(kFailureReserve); }

  corvel::Session session;
  // What this layer refused or caught last; empty when the session's own
  // lastError() is what went wrong last.
  std::string failure;
  // Whether the failure the session reported last was a hang: its error
  // record does not say.
  bool hung = false;
  std::vector<MidiEvent> events;                             // render()'s, reused
  std::array<MidiEvent, kBlockEventLimit> blockEvents;       // render_block()'s
  std::string lastErrorText;                                 // last_error()'s

  // Keeps `why` as the failure and returns `status`. Short texts fit the
  // reserve: [audio] no allocation, no lock.
  corvel_status refuse(corvel_status status, const char* why) noexcept {
    try {
      failure.assign(why);
    } catch (...) {
      failure.assign("out of memory");
    }
    return status;
  }

  // Hands the explanation of a failed `status` to the session, whose
  // lastError() holds it; a host that ended or hung is the one status()
  // describes from then on. [audio] no allocation, no lock.
  corvel_status sessionFailed(corvel_status status) {
    failure.clear();
    if (status == CORVEL_HOST_GONE || status == CORVEL_HUNG || status == CORVEL_START_FAILED) {
      hung = status == CORVEL_HUNG;
    }
    return status;
  }

  corvel_status started(StartStatus result) {
    corvel_status status = fromStart(result);
    return status == CORVEL_OK ? status : sessionFailed(status);
  }

  // [audio] no allocation, no lock.
  corvel_status rendered(RenderStatus result) {
    corvel_status status = fromRender(result);
    switch (status) {
      case CORVEL_HOST_GONE:
      case CORVEL_HUNG:
      case CORVEL_NOT_RUNNING: return sessionFailed(status);
      case CORVEL_BAD_ARGUMENT:
        return refuse(status, "render: an event or the frame count is out of range; nothing was sent");
      default: return status;
    }
  }

  corvel_status pushed(PushStatus result) {
    corvel_status status = fromPush(result);
    switch (status) {
      case CORVEL_PRESET_REJECTED: return refuse(status, "the host refused the preset text");
      case CORVEL_PRESET_TOO_LARGE: return refuse(status, "the preset text is larger than the block holds");
      case CORVEL_HOST_GONE:
      case CORVEL_NOT_RUNNING: return sessionFailed(status);
      default: return status;
    }
  }

  // Runs `body`, turning anything it throws into `onThrow` and the
  // exception's text.
  template <typename Body>
  corvel_status guarded(corvel_status onThrow, Body&& body) noexcept {
    try {
      return body();
    } catch (const std::exception& e) {
      return refuse(onThrow, e.what());
    } catch (...) {
      return refuse(onThrow, "an unknown exception");
    }
  }
};

namespace {

// last_error and status take a const session, but keep a text or catch
// into one; every session is made non-const by newSession.
corvel_session* writable(const corvel_session* session) { return const_cast<corvel_session*>(session); }

corvel_session* newSession() noexcept {
  try {
    return new corvel_session;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

extern "C" {

void corvel_options_init(corvel_options* options) {
  if (!options) return;
  const corvel::SessionOptions defaults;
  *options = corvel_options{};
  options->struct_size = sizeof(corvel_options);
  options->sample_rate = defaults.sampleRate;
  options->block_frames = defaults.blockFrames;
  options->spin_us = static_cast<uint32_t>(defaults.spin.count());
  options->rt_priority = defaults.rtPriority;
  options->start_limit_ms = static_cast<uint32_t>(defaults.startLimit.count());
  options->hang_limit_ms = static_cast<uint32_t>(defaults.hangLimit.count());
  options->restart_automatically = defaults.restartAutomatically;
}

corvel_status corvel_session_start(const corvel_options* options, corvel_session** session) {
  if (!session) return CORVEL_BAD_ARGUMENT;
  corvel_session* s = *session = newSession();
  if (!s) return CORVEL_START_FAILED;
  if (!options || options->struct_size < kFirstOptionsSize || !options->plugin) {
    return s->refuse(CORVEL_BAD_ARGUMENT,
                     "the options are missing, not set up by corvel_options_init, or name no plug-in");
  }
  return s->guarded(CORVEL_START_FAILED, [&] { return s->started(s->session.start(sessionOptions(*options))); });
}

corvel_status corvel_session_render(corvel_session* session, const corvel_event* events, size_t event_count,
                                    uint32_t frames, float* left, float* right) {
  if (!session) return CORVEL_BAD_ARGUMENT;
  if ((event_count > 0 && !events) || (frames > 0 && (!left || !right))) {
    return session->refuse(CORVEL_BAD_ARGUMENT, "render: a null events or audio pointer");
  }
  return session->guarded(CORVEL_NOT_RUNNING, [&] {
    session->events.resize(event_count);
    if (!convertEvents(events, event_count, session->events.data())) {
      return session->refuse(CORVEL_BAD_ARGUMENT, "render: an event's reserved byte is not 0");
    }
    return session->rendered(session->session.render(session->events, frames, {left, right}));
  });
}

corvel_status corvel_session_render_block(corvel_session* session, const corvel_event* events,
                                          size_t event_count, float* left, float* right, uint32_t deadline_us) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(deadline_us);
  if (!session) return CORVEL_BAD_ARGUMENT;
  if ((event_count > 0 && !events) || !left || !right) {
    return session->refuse(CORVEL_BAD_ARGUMENT, "render_block: a null events or audio pointer");
  }
  if (event_count > kBlockEventLimit || !convertEvents(events, event_count, session->blockEvents.data())) {
    return session->refuse(CORVEL_BAD_ARGUMENT, "render_block: too many events, or a reserved byte not 0");
  }
  return session->guarded(CORVEL_NOT_RUNNING, [&] {
    std::span<const MidiEvent> batch(session->blockEvents.data(), event_count);
    return session->rendered(session->session.renderBlock(batch, {left, right}, deadline));
  });
}

corvel_status corvel_session_push_preset(corvel_session* session, const char* text, size_t size) {
  if (!session) return CORVEL_BAD_ARGUMENT;
  if (!text && size > 0) return session->refuse(CORVEL_BAD_ARGUMENT, "push_preset: a null text");
  return session->guarded(CORVEL_PRESET_REJECTED, [&] {
    return session->pushed(session->session.pushPreset(size > 0 ? std::string(text, size) : std::string()));
  });
}

corvel_status corvel_session_preset(corvel_session* session, char* buffer, size_t capacity, size_t* size) {
  if (!session) return CORVEL_BAD_ARGUMENT;
  if (!size || (!buffer && capacity > 0)) {
    return session->refuse(CORVEL_BAD_ARGUMENT, "preset: a null size or buffer");
  }
  return session->guarded(CORVEL_IO_ERROR, [&] {
    const std::string preset = session->session.preset();
    *size = preset.size();
    if (capacity <= preset.size()) return CORVEL_BUFFER_TOO_SMALL;
    std::memcpy(buffer, preset.c_str(), preset.size() + 1);
    return CORVEL_OK;
  });
}

corvel_status corvel_session_save_preset(corvel_session* session, const char* path) {
  if (!session) return CORVEL_BAD_ARGUMENT;
  if (!path) return session->refuse(CORVEL_BAD_ARGUMENT, "save_preset: a null path");
  return session->guarded(CORVEL_IO_ERROR, [&] {
    if (session->session.savePreset(path)) return CORVEL_OK;
    return session->refuse(CORVEL_IO_ERROR,
                           ("no preset is published yet, or it could not be written to " + std::string(path)).c_str());
  });
}

corvel_status corvel_session_load_preset(corvel_session* session, const char* path) {
  if (!session) return CORVEL_BAD_ARGUMENT;
  if (!path) return session->refuse(CORVEL_BAD_ARGUMENT, "load_preset: a null path");
  return session->guarded(CORVEL_IO_ERROR, [&] {
    // The session takes an unreadable file for a refused preset; a caller
    // here is told which of the two it was.
    if (!std::ifstream(path, std::ios::binary).is_open()) {
      return session->refuse(CORVEL_IO_ERROR, ("the preset file could not be read: " + std::string(path)).c_str());
    }
    return session->pushed(session->session.loadPreset(path));
  });
}

corvel_status corvel_session_all_notes_off(corvel_session* session) {
  if (!session) return CORVEL_BAD_ARGUMENT;
  return session->guarded(CORVEL_NOT_RUNNING, [&] {
    if (!session->session.running()) return session->sessionFailed(CORVEL_NOT_RUNNING);
    session->session.allNotesOff();
    return CORVEL_OK;
  });
}

corvel_status corvel_session_restart(corvel_session* session) {
  if (!session) return CORVEL_BAD_ARGUMENT;
  return session->guarded(CORVEL_START_FAILED, [&] { return session->started(session->session.restart()); });
}

corvel_status corvel_session_status(const corvel_session* session, corvel_host_status* status) {
  if (!session || !status) return CORVEL_BAD_ARGUMENT;
  return writable(session)->guarded(CORVEL_NOT_RUNNING, [&] {
    const corvel::Session& s = session->session;
    const corvel::SessionError& error = s.lastError();
    *status = corvel_host_status{};
    status->running = s.running();
    status->exited = error.exitCode.has_value() || error.signal.has_value();
    status->exit_code = error.exitCode.value_or(0);
    status->signal = error.signal.value_or(0);
    status->hung = session->hung;
    status->restarts = s.restarts();
    status->process_id = s.hostProcessId();
    return CORVEL_OK;
  });
}

const char* corvel_session_last_error(const corvel_session* session) {
  if (!session) return "no session";
  // The text stays in the session until the next call, as corvel.h promises.
  corvel_session* s = writable(session);
  try {
    s->lastErrorText = s->failure.empty() ? describe(s->session.lastError()) : s->failure;
    return s->lastErrorText.c_str();
  } catch (...) {
    return "out of memory";
  }
}

void corvel_session_close(corvel_session* session) {
  if (!session) return;
  try {
    session->session.stop();
  } catch (...) {
    // The session is freed either way; its destructor stops nothing twice.
  }
  delete session;
}

const char* corvel_status_name(corvel_status status) {
  switch (status) {
    case CORVEL_OK: return "ok";
    case CORVEL_BLOCK: return "block";
    case CORVEL_IDLE: return "idle";
    case CORVEL_LATE: return "late";
    case CORVEL_HOST_GONE: return "host gone";
    case CORVEL_HUNG: return "hung";
    case CORVEL_NOT_RUNNING: return "not running";
    case CORVEL_BAD_ARGUMENT: return "bad argument";
    case CORVEL_START_FAILED: return "start failed";
    case CORVEL_PRESET_REJECTED: return "preset rejected";
    case CORVEL_PRESET_TOO_LARGE: return "preset too large";
    case CORVEL_BUFFER_TOO_SMALL: return "buffer too small";
    case CORVEL_IO_ERROR: return "i/o error";
  }
  return "unknown status";
}

}  // extern "C"
