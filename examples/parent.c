/* parent.c: a parent in C. It hosts one instrument plug-in in a corvel
 * process, plays a C-major chord for two seconds, lets it ring out and writes
 * what came back to a WAV file.
 *
 *   parent-c PLUGIN [--vst2] [OUT.wav]          (OUT.wav: chord.wav here)
 *   cc -o parent-c parent.c $(pkg-config --cflags --libs corvel) */
#include <corvel/corvel.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "wav_file.h"

enum { kRate = 48000, kHeld = 2 * kRate, kFrames = kHeld + kRate / 2 };

int main(int argc, char** argv) {
  if (argc < 2) return fprintf(stderr, "usage: %s PLUGIN [--vst2] [OUT.wav]\n", argv[0]), 2;
  corvel_options options;
  corvel_options_init(&options); /* the defaults: 48 kHz, blocks of 256 frames */
  options.plugin = argv[1];
  const char* out = "chord.wav";
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "--vst2") == 0) options.vst2 = 1;
    else out = argv[i];
  }
  /* Each event is due at a frame counted from the start of the render call
   * that carries it: the notes go on at once and off after two seconds. */
  const uint8_t notes[3] = {60, 64, 67}; /* C4, E4, G4 */
  corvel_event chord[6];
  for (int i = 0; i < 3; ++i) {
    chord[i] = (corvel_event){0, 0x90, notes[i], 100, 0};
    chord[3 + i] = (corvel_event){kHeld, 0x80, notes[i], 0, 0};
  }
  float* left = malloc(kFrames * sizeof(float));
  float* right = malloc(kFrames * sizeof(float));
  if (!left || !right) return fputs("out of memory\n", stderr), 1;

  /* Start spawns the host and waits for its first block: from then on MIDI is
   * safe. One render call plays it all; the session cuts it into blocks. */
  corvel_session* session = NULL;
  corvel_status status = corvel_session_start(&options, &session);
  if (status == CORVEL_OK) status = corvel_session_render(session, chord, 6, kFrames, left, right);
  /* A failure says what it was and, when the host ended, how and what it logged. */
  if (status < 0) fprintf(stderr, "%s: %s\n%s\n", argv[0], corvel_status_name(status), corvel_session_last_error(session));
  corvel_session_close(session); /* stops the host and removes the shared block */
  if (status < 0) return 1;

  if (wav_write_stereo_float(out, left, right, kFrames, kRate) != 0) return fprintf(stderr, "cannot write %s\n", out), 1;
  printf("%s: %.1f s from %s\n", out, (double)kFrames / kRate, options.plugin);
  free(left);
  free(right);
  return 0;
}
