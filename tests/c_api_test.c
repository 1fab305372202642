/* libcorvel through its C interface only, as a parent written in C sees it:
 * mda DX10 plays a chord, its preset goes out and back in through a caller's
 * buffer, and a plug-in that is not there fails to start with a reason.
 * Exits nonzero on the first failed check. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "corvel/corvel.h"

#define CHECK(condition)                                                    \
  do {                                                                      \
    if (!(condition)) {                                                     \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      return 1;                                                             \
    }                                                                       \
  } while (0)

#define CHECK_STATUS(expected, call)                                                         \
  do {                                                                                       \
    corvel_status status_ = (call);                                                          \
    if (status_ != (expected)) {                                                             \
      fprintf(stderr, "%s:%d: %s gave %s, not %s: %s\n", __FILE__, __LINE__, #call,          \
              corvel_status_name(status_), corvel_status_name(expected), last_error_text()); \
      return 1;                                                                              \
    }                                                                                        \
  } while (0)

enum { kFrames = 24000 }; /* half a second at 48 kHz */

static corvel_session* session;

static const char* last_error_text(void) { return corvel_session_last_error(session); }

static int audible_and_finite(const float* left, const float* right) {
  float peak = 0.0f;
  int i;
  for (i = 0; i < kFrames; ++i) {
    if (!isfinite(left[i]) || !isfinite(right[i])) return 0;
    peak = fmaxf(peak, fmaxf(fabsf(left[i]), fabsf(right[i])));
  }
  return peak > 0.01f;
}

static corvel_options mda_options(void) {
  corvel_options options;
  corvel_options_init(&options);
  options.plugin = CORVEL_MDA_VST3;
  options.host_path = CORVEL_PATH;
  return options;
}

/* The host publishes its preset now and then: render until it has. */
static size_t wait_for_preset(float* left, float* right) {
  char probe[1];
  size_t size = 0;
  int round;
  for (round = 0; round < 20; ++round) {
    if (corvel_session_preset(session, probe, sizeof probe, &size) == CORVEL_BUFFER_TOO_SMALL) return size;
    corvel_session_render(session, NULL, 0, kFrames, left, right);
  }
  return 0;
}

static int chord_and_preset(float* left, float* right) {
  static const corvel_event chord[] = {{0, 0x90, 60, 100, 0}, {0, 0x90, 64, 100, 0}, {0, 0x90, 67, 100, 0}};
  corvel_options options = mda_options();
  corvel_host_status host;
  char* preset;
  size_t size = 0;
  size_t again = 0;

  CHECK_STATUS(CORVEL_OK, corvel_session_start(&options, &session));
  CHECK_STATUS(CORVEL_BLOCK, corvel_session_render(session, chord, 3, kFrames, left, right));
  CHECK(audible_and_finite(left, right));

  size = wait_for_preset(left, right);
  CHECK(size > 0);
  preset = malloc(size + 1);
  CHECK(preset != NULL);
  CHECK_STATUS(CORVEL_OK, corvel_session_preset(session, preset, size + 1, &again));
  CHECK(again == size && strlen(preset) == size);
  CHECK_STATUS(CORVEL_OK, corvel_session_push_preset(session, preset, size));
  free(preset);

  CHECK_STATUS(CORVEL_OK, corvel_session_all_notes_off(session));
  CHECK_STATUS(CORVEL_OK, corvel_session_status(session, &host));
  CHECK(host.running && host.process_id != 0 && host.restarts == 0 && !host.exited);
  CHECK_STATUS(CORVEL_BAD_ARGUMENT, corvel_session_render(session, NULL, 1, kFrames, left, right));
  corvel_session_close(session);
  session = NULL;
  return 0;
}

static int missing_plugin(void) {
  corvel_options options = mda_options();
  options.plugin = "/nonexistent/missing.vst3";
  CHECK_STATUS(CORVEL_START_FAILED, corvel_session_start(&options, &session));
  CHECK(session != NULL && last_error_text()[0] != '\0');
  corvel_session_close(session);
  session = NULL;
  return 0;
}

int main(void) {
  float* left = malloc(kFrames * sizeof(float));
  float* right = malloc(kFrames * sizeof(float));
  int failed = left == NULL || right == NULL || chord_and_preset(left, right) || missing_plugin();
  corvel_session_close(session);
  free(left);
  free(right);
  if (!failed) puts("c_api_test: passed");
  return failed;
}
