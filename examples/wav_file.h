/* wav_file.h: writes stereo 32-bit float audio as a WAV file, in a few lines,
 * so that the examples need nothing but corvel and the C library. */
#ifndef CORVEL_EXAMPLE_WAV_FILE_H
#define CORVEL_EXAMPLE_WAV_FILE_H

#include <stdint.h>
#include <stdio.h>

/* WAV numbers are little-endian whatever the machine. */
static void wav_put(FILE* file, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) fputc((int)((value >> (8 * i)) & 0xFF), file);
}

/* Writes `frames` frames of left and right, interleaved as WAV wants them.
 * Returns 0, or -1 when the file could not be written. The samples go out as
 * the machine stores floats: IEEE little-endian on every machine corvel runs on. */
static int wav_write_stereo_float(const char* path, const float* left, const float* right,
                                  uint32_t frames, uint32_t sample_rate) {
  FILE* file = fopen(path, "wb");
  if (!file) return -1;
  const uint32_t data_bytes = frames * 2 * sizeof(float);
  fputs("RIFF", file);
  wav_put(file, 36 + data_bytes, 4);
  fputs("WAVEfmt ", file);
  wav_put(file, 16, 4);                              /* the format chunk's size */
  wav_put(file, 3, 2);                               /* 3: IEEE float samples */
  wav_put(file, 2, 2);                               /* channels */
  wav_put(file, sample_rate, 4);
  wav_put(file, sample_rate * 2 * sizeof(float), 4); /* bytes per second */
  wav_put(file, 2 * sizeof(float), 2);               /* bytes per frame */
  wav_put(file, 32, 2);                              /* bits per sample */
  fputs("data", file);
  wav_put(file, data_bytes, 4);
  for (uint32_t i = 0; i < frames; ++i) {
    fwrite(&left[i], sizeof(float), 1, file);
    fwrite(&right[i], sizeof(float), 1, file);
  }
  const int failed = ferror(file);
  return fclose(file) == 0 && !failed ? 0 : -1;
}

#endif /* CORVEL_EXAMPLE_WAV_FILE_H */
