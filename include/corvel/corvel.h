/* corvel.h: the C interface to one hosted plug-in, for parents in any
 * language that can call C. A session starts a corvel process, plays timed
 * MIDI into it and takes stereo float audio out; a plug-in that crashes or
 * hangs ends only that process, and the session says so and can restart it.
 *
 * Handles are opaque. Buffers belong to the caller. No call throws, and a
 * session may be used by one thread at a time (any thread, not two at once).
 * Strings are UTF-8 and NUL-terminated unless a size is given. */
#ifndef CORVEL_H
#define CORVEL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(CORVEL_BUILDING_LIBRARY)
#define CORVEL_API __declspec(dllexport)
#elif defined(CORVEL_STATIC)
#define CORVEL_API
#else
#define CORVEL_API __declspec(dllimport)
#endif
#else
#define CORVEL_API __attribute__((visibility("default")))
#endif

typedef enum corvel_status {
  CORVEL_OK = 0,
  CORVEL_BLOCK = 1,             /* render: audio from the host */
  CORVEL_IDLE = 2,              /* render: the host idles on silence; zeros */
  CORVEL_LATE = 3,              /* render_block: the deadline came first; silence */
  CORVEL_HOST_GONE = -1,        /* the host process ended; see last_error */
  CORVEL_HUNG = -2,             /* the host stopped rendering; see last_error */
  CORVEL_NOT_RUNNING = -3,      /* no host: start failed or the session stopped */
  CORVEL_BAD_ARGUMENT = -4,     /* a null pointer, a bad option or event; nothing was done */
  CORVEL_START_FAILED = -5,     /* the host could not be started; see last_error */
  CORVEL_PRESET_REJECTED = -6,  /* the host refused the preset text */
  CORVEL_PRESET_TOO_LARGE = -7, /* refused before anything was written */
  CORVEL_BUFFER_TOO_SMALL = -8, /* the text did not fit; *size says what would */
  CORVEL_IO_ERROR = -9          /* a preset file could not be read or written */
} corvel_status;

typedef struct corvel_session corvel_session;

typedef struct corvel_options {
  uint32_t struct_size;      /* sizeof(corvel_options): set by corvel_options_init */
  const char* plugin;        /* VST 3 bundle or .so, or a VST 2.x library with vst2 */
  int vst2;                  /* nonzero: the plug-in is VST 2.x */
  double sample_rate;        /* default 48000 */
  uint32_t block_frames;     /* 1-256, default 256 */
  const char* preset_text;   /* NULL or a preset text applied before start returns */
  const char* preset_file;   /* NULL or a file of preset text */
  const char* host_path;     /* NULL: corvel beside this library, then on PATH */
  uint32_t spin_us;          /* fast wake: watch for the other side this long before sleeping */
  int32_t rt_priority;       /* the host's real-time priority; 0: none */
  uint32_t start_limit_ms;   /* default 20000 */
  uint32_t hang_limit_ms;    /* default 2000 */
  int restart_automatically; /* nonzero: a failed host is replaced at once */
} corvel_options;

/* A MIDI message due `frame` frames after the start of the render call. */
typedef struct corvel_event {
  uint32_t frame;
  uint8_t status; /* 0x80-0xEF */
  uint8_t data1;
  uint8_t data2;
  uint8_t reserved; /* 0 */
} corvel_event;

typedef struct corvel_host_status {
  int running;         /* nonzero while a host serves */
  int exited;          /* nonzero when the last host ended: exit_code or signal says how */
  int exit_code;
  int signal;          /* nonzero when the last host was killed by a signal */
  int hung;            /* nonzero when the last host was found hung */
  uint32_t restarts;   /* hosts started after the first */
  uint64_t process_id; /* 0 without a host */
} corvel_host_status;

/* Fills the defaults. */
CORVEL_API void corvel_options_init(corvel_options* options);

/* Starts a host and takes its first block. *session is set whenever memory
 * allowed, also on failure, so corvel_session_last_error can say why:
 * close it either way. */
CORVEL_API corvel_status corvel_session_start(const corvel_options* options, corvel_session** session);

/* Renders `frames` frames into left and right (each `frames` floats).
 * CORVEL_BLOCK, CORVEL_IDLE, or a failure after which the rest are zeros. */
CORVEL_API corvel_status corvel_session_render(corvel_session* session, const corvel_event* events,
                                               size_t event_count, uint32_t frames, float* left, float* right);

/* One block of block_frames frames, never waiting more than deadline_us
 * microseconds: CORVEL_LATE with silence when the host is slower.
 * No allocation, no lock: for an audio callback. */
CORVEL_API corvel_status corvel_session_render_block(corvel_session* session, const corvel_event* events,
                                                     size_t event_count, float* left, float* right,
                                                     uint32_t deadline_us);

/* Applies a preset text of `size` bytes; CORVEL_OK once the host took it. */
CORVEL_API corvel_status corvel_session_push_preset(corvel_session* session, const char* text, size_t size);

/* The preset the host published last, NUL-terminated, into buffer. *size
 * receives its length without the NUL; CORVEL_BUFFER_TOO_SMALL when
 * `capacity` cannot hold it and the NUL. An empty text while none is published. */
CORVEL_API corvel_status corvel_session_preset(corvel_session* session, char* buffer, size_t capacity,
                                               size_t* size);

CORVEL_API corvel_status corvel_session_save_preset(corvel_session* session, const char* path);
CORVEL_API corvel_status corvel_session_load_preset(corvel_session* session, const char* path);

/* Silences every note from the next block on. */
CORVEL_API corvel_status corvel_session_all_notes_off(corvel_session* session);

/* Replaces the host with a new one that starts from the last published preset. */
CORVEL_API corvel_status corvel_session_restart(corvel_session* session);

CORVEL_API corvel_status corvel_session_status(const corvel_session* session, corvel_host_status* status);

/* What went wrong last, with the host's last log lines; "" when nothing did.
 * Valid until the next call on the session. */
CORVEL_API const char* corvel_session_last_error(const corvel_session* session);

/* Stops the host, removes its block and frees the session. NULL is ignored. */
CORVEL_API void corvel_session_close(corvel_session* session);

/* A short English name of a status, e.g. "host gone". */
CORVEL_API const char* corvel_status_name(corvel_status status);

#ifdef __cplusplus
}
#endif

#endif /* CORVEL_H */
